#include "enhance/colour_cast.h"
