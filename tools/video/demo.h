// skarvel demo: a generated clip, noised, denoised and measured.
#pragma once

#include <string>

namespace skarvel::video {

struct DemoOptions {
    std::string directory = "skarvel-demo";
    std::string moduleDirectory;
};

// Writes clean.y4m, noisy.y4m, denoised.y4m and chroma.png into the directory
// and prints the chroma PSNR of the noisy and denoised clips; the exit code.
int RunDemo(const DemoOptions& options);

}  // namespace skarvel::video
