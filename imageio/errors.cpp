#include "imageio/errors.h"
