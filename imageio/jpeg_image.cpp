#include "imageio/jpeg_image.h"
