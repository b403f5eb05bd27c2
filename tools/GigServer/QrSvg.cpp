#include "QrSvg.hpp"

#include <qrencode.h>

#include <memory>
#include <stdexcept>

namespace bridge {

namespace {

constexpr int quietZone = 4;

struct FreeQrCode {
    void operator()(QRcode* code) const { QRcode_free(code); }
};

} // namespace

std::string qrSvg(const std::string& text) {
    const std::unique_ptr<QRcode, FreeQrCode> code(
        QRcode_encodeString8bit(text.c_str(), 0, QR_ECLEVEL_M));
    if (!code) {
        throw std::length_error("no QR code holds this text");
    }
    const int width = code->width;
    const auto dark = [&](int x, int y) { return (code->data[y * width + x] & 1) != 0; };
    // One rectangle for each run of dark modules in a row.
    std::string path;
    for (int y = 0; y < width; ++y) {
        for (int x = 0; x < width; ++x) {
            if (!dark(x, y)) {
                continue;
            }
            const int start = x;
            while (x + 1 < width && dark(x + 1, y)) {
                ++x;
            }
            const auto run = std::to_string(x + 1 - start);
            path += 'M' + std::to_string(start + quietZone) + ' ' + std::to_string(y + quietZone) +
                    'h' + run + "v1h-" + run + 'z';
        }
    }
    const auto size = std::to_string(width + 2 * quietZone);
    return R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 )" + size + ' ' + size +
           R"(" shape-rendering="crispEdges"><rect width=")" + size + R"(" height=")" + size +
           R"(" fill="#fff"/><path fill="#000" d=")" + path + R"("/></svg>)";
}

} // namespace bridge
