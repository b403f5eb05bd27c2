#pragma once

// The UDP datagrams of a pcapng capture of Ethernet frames: enough of the format to replay
// real Pro DJ Link traffic in tests.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace bridge::testing {

struct Datagram {
    std::string source; // dotted IPv4
    std::uint16_t sourcePort = 0;
    std::uint16_t destinationPort = 0;
    std::vector<std::uint8_t> payload;
};

class PcapngReader {
public:
    explicit PcapngReader(const std::filesystem::path& path) {
        std::ifstream file{path, std::ios::binary};
        data.assign(std::istreambuf_iterator<char>{file}, {});
        if (data.size() < 12 || unsigned32(0) != sectionHeader) {
            throw std::runtime_error("not a pcapng file: " + path.string());
        }
        // The byte-order magic tells how every number of the section is written.
        bigEndian = unsigned32(8) != byteOrderMagic;
    }

    std::vector<Datagram> udp() const {
        std::vector<Datagram> datagrams;
        for (std::size_t at = 0; at + 12 <= data.size();) {
            const std::uint32_t type = unsigned32(at);
            const std::uint32_t length = unsigned32(at + 4);
            if (length < 12 || length > data.size() - at) {
                throw std::runtime_error("a pcapng block runs past the file");
            }
            if (type == enhancedPacket && length >= 32) {
                const std::size_t captured = unsigned32(at + 20);
                if (captured <= length - 32) {
                    frame(at + 28, captured, datagrams);
                }
            }
            at += length;
        }
        return datagrams;
    }

private:
    static constexpr std::uint32_t sectionHeader = 0x0A0D0D0A;
    static constexpr std::uint32_t byteOrderMagic = 0x1A2B3C4D;
    static constexpr std::uint32_t enhancedPacket = 6;

    std::uint32_t unsigned32(std::size_t at) const {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            const std::size_t byte = bigEndian ? at + i : at + 3 - i;
            value = (value << 8) | data.at(byte);
        }
        return value;
    }

    // Network byte order, as in the frames themselves.
    std::uint16_t network16(std::size_t at) const {
        return static_cast<std::uint16_t>((data.at(at) << 8) | data.at(at + 1));
    }

    // An Ethernet frame holding IPv4 and UDP; anything else is left out.
    void frame(std::size_t at, std::size_t size, std::vector<Datagram>& datagrams) const {
        const std::size_t end = at + size;
        std::size_t ip = at + 14;
        std::uint16_t etherType = size >= 14 ? network16(at + 12) : 0;
        if (etherType == 0x8100 && size >= 18) { // a VLAN tag
            etherType = network16(at + 16);
            ip += 4;
        }
        if (etherType != 0x0800 || ip + 20 > end || data[ip + 9] != 17) {
            return;
        }
        const std::size_t udp = ip + (data[ip] & 0x0F) * 4u;
        if (udp + 8 > end || network16(udp + 4) < 8 || udp + network16(udp + 4) > end) {
            return;
        }
        Datagram datagram;
        datagram.source = std::to_string(data[ip + 12]) + "." + std::to_string(data[ip + 13]) +
                          "." + std::to_string(data[ip + 14]) + "." + std::to_string(data[ip + 15]);
        datagram.sourcePort = network16(udp);
        datagram.destinationPort = network16(udp + 2);
        const auto first = data.begin() + static_cast<long>(udp + 8);
        datagram.payload.assign(first, first + (network16(udp + 4) - 8));
        datagrams.push_back(std::move(datagram));
    }

    std::vector<std::uint8_t> data;
    bool bigEndian = false;
};

} // namespace bridge::testing
