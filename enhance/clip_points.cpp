#include "enhance/clip_points.h"
