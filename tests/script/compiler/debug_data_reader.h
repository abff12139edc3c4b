#pragma once
// Reads the compiler's debug data back into lists, so tests can check what a
// debugger would find.

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct DebugLine
{
    std::string file;
    std::uint32_t proc = 0;
    std::uint32_t codePos = 0;
    std::uint32_t sourcePos = 0;
    std::uint32_t row = 0;
    std::uint32_t col = 0;
};

struct DebugData
{
    std::vector<std::string> procNames;
    std::vector<std::string> globalNames;
    std::map<std::uint32_t, std::vector<std::string>> params;
    std::map<std::uint32_t, std::vector<std::string>> locals;
    std::vector<DebugLine> lines;

    // False when a record is cut short or has an unknown tag.
    bool Read(std::string_view data)
    {
        std::size_t pos = 0;
        auto u32 = [&](std::uint32_t& out) {
            if (data.size() - pos < 4)
                return false;
            out = 0;
            for (int i = 0; i < 4; ++i)
                out |= std::uint32_t(static_cast<std::uint8_t>(data[pos + i])) << (8 * i);
            pos += 4;
            return true;
        };
        // Names, each ended by byte 1; the list ended by byte 0.
        auto names = [&](std::vector<std::string>& out) {
            while (pos < data.size() && data[pos] != '\0') {
                const std::size_t end = data.find('\1', pos);
                if (end == std::string_view::npos)
                    return false;
                out.emplace_back(data.substr(pos, end - pos));
                pos = end + 1;
            }
            return pos++ < data.size();
        };
        while (pos < data.size()) {
            const char tag = data[pos++];
            std::uint32_t proc = 0;
            switch (tag) {
            case 0:
                if (!names(procNames))
                    return false;
                break;
            case 1:
                if (!names(globalNames))
                    return false;
                break;
            case 2:
            case 3:
                if (!u32(proc) || !names(tag == 2 ? params[proc] : locals[proc]))
                    return false;
                break;
            case 4: {
                DebugLine line;
                const std::size_t end = data.find('\1', pos);
                if (end == std::string_view::npos)
                    return false;
                line.file = data.substr(pos, end - pos);
                pos = end + 1;
                if (!u32(line.proc) || !u32(line.codePos) || !u32(line.sourcePos) || !u32(line.row) || !u32(line.col))
                    return false;
                lines.push_back(line);
                break;
            }
            default:
                return false;
            }
        }
        return true;
    }
};
