#include "enhance/tone_curve.h"
