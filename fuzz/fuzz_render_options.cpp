// ombrilo-render's command line: the input's bytes split at zero bytes into arguments.
#include <string>
#include <vector>

#include "tools/render_options.h"

using namespace ombrilo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back().push_back(static_cast<char>(data[i]));
        }
    }
    (void)ParseRenderArguments(args);
    for (const std::string& arg : args) {
        (void)ParsePictureSize(arg);
    }
    return 0;
}
