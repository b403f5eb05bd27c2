#pragma once

#include "ProDJLink/RekordboxExport.hpp"

#include <string>
#include <vector>

namespace bridge {

// The bytes of a small export.pdb holding `tracks`, as a player's medium would: a tracks and
// an artists table in pages of 4096 bytes, each artist named once. Titles and artists that
// are not ASCII are written as UTF-16. Throws std::length_error for a track whose texts do not
// fit one page.
std::string exportFile(const std::vector<ProDJLink::ExportTrack>& tracks);

} // namespace bridge
