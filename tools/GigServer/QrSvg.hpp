#pragma once

#include <string>

namespace bridge {

// `text` as a QR code at error correction level M, drawn as an SVG image of whole modules
// with the four-module quiet zone. Throws std::length_error when the text does not fit.
std::string qrSvg(const std::string& text);

} // namespace bridge
