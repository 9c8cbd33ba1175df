#include "enhance/enhance_photo.h"
