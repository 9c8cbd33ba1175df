#include "enhance/smooth_sharpen.h"
