#pragma once

#include "Support/Instant.hpp"

#include <boost/json/fwd.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace bridge {

// One track as What's Now Playing reports it.
struct WhatsNowPlayingSong {
    std::string title; // never empty
    std::optional<std::string> artist;
    std::string file; // the track's path, or a made-up key when the tool gives none
    std::optional<double> bpm;
    std::optional<std::string> key;
    std::optional<double> length;       // seconds
    std::optional<Instant> started;     // when the tool received the track
    std::optional<std::string> program; // the DJ program the tool follows

    bool operator==(const WhatsNowPlayingSong&) const = default;

    // The song of one answer; absent when it has no usable title. Values of the wrong type
    // or out of range count as absent.
    static std::optional<WhatsNowPlayingSong> fromJson(const boost::json::object& json);

    // The display name of a program the tool follows, by its agent name in any letter case.
    static std::optional<std::string> programName(const std::optional<std::string>& name);

    // An internet date-time such as 2026-12-08T19:20:46.432568+00:00, with any number of
    // fractional digits or none, and "Z" or a numeric offset.
    static std::optional<Instant> time(std::string_view text);
};

} // namespace bridge
