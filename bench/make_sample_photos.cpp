// make-sample-photos FOLDER COUNT WIDTH HEIGHT [progressive]: writes COUNT photo-like JPEG files
// (photo_0001.jpg ...) for the speed and memory scripts, baseline unless asked otherwise.
#include "bench/bench_images.h"
#include "tests/support/photos.h"
#include "imageio/jpeg_image.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

int main(int argc, char **argv)
{
    if (argc != 5 && !(argc == 6 && std::string(argv[5]) == "progressive")) {
        std::fprintf(stderr, "usage: make-sample-photos FOLDER COUNT WIDTH HEIGHT [progressive]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int count = std::atoi(argv[2]);
    const int width = std::atoi(argv[3]);
    const int height = std::atoi(argv[4]);
    try {
        const image::TBitmap picture = testing_support::photoLike(width, height);
        for (int i = 1; i <= count; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "/photo_%04d.jpg", i);
            imageio::TJPEGImage jpeg;
            jpeg.CopyFromBitmap(picture);
            jpeg.ProgressiveSave = argc == 6;
            jpeg.SaveFile(folder + name);
        }
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
