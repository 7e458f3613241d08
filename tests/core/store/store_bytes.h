#pragma once
// An independent writer of store file bytes for the tests: it knows the file only as a table of
// offsets and values and never calls the code under test, so a layout or default that drifts in
// the code shows up as a byte difference.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <stdlib.h>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::test {

inline constexpr std::size_t kHeaderBytes = 507684;
inline constexpr std::size_t kRecordBytes = 101536;
inline constexpr std::size_t kSlotBytes = 4128;
inline constexpr std::size_t kSlotsAt = 2464;

using Bytes = std::vector<std::uint8_t>;

inline void Put8(Bytes& bytes, std::size_t at, std::uint8_t value) {
    bytes.at(at) = value;
}
inline void Put16(Bytes& bytes, std::size_t at, std::uint16_t value) {
    Put8(bytes, at, static_cast<std::uint8_t>(value));
    Put8(bytes, at + 1, static_cast<std::uint8_t>(value >> 8));
}
inline void Put32(Bytes& bytes, std::size_t at, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        Put8(bytes, at + i, static_cast<std::uint8_t>(v >> (8 * i)));
}
inline void PutText(Bytes& bytes, std::size_t at, std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i)
        Put16(bytes, at + 2 * i, static_cast<std::uint16_t>(text[i]));
}

// A record holding the defaults of a freshly created profile, written from the layout table.
inline Bytes DefaultRecordBytes(std::u16string_view name) {
    Bytes r(kRecordBytes, 0);
    PutText(r, 0, name);
    Put32(r, 2200, 420);
    Put32(r, 2204, 3);
    Put32(r, 2212, 6);
    const std::int32_t dpi[8] = {8, 16, 24, 32, 64, 100, 0, 0};
    const std::int32_t enabled[8] = {1, 1, 1, 1, 1, 1, 0, 0};
    for (int i = 0; i < 8; ++i) {
        Put32(r, 2244 + 4 * i, dpi[i]);
        Put32(r, 2276 + 4 * i, dpi[i]);
        Put32(r, 2308 + 4 * i, enabled[i]);
    }
    Put32(r, 2340, 8);   // brightness
    Put32(r, 2344, 6);   // breathspeed
    Put32(r, 2348, 10);  // sleep_timer
    Put32(r, 2352, 2);   // light_off
    Put32(r, 2356, 1);   // dpi_step
    Put32(r, 2360, 6);   // prate
    Put32(r, 2368, 1);   // ripple_control
    Put32(r, 2376, 1);   // motion_sync
    Put32(r, 2384, 3);
    Put8(r, 2388, 1);
    Put32(r, 2392, 3);   // key_debounce
    Put8(r, 2398, 255);  // light_color blue
    const std::uint8_t stageColors[8][3] = {{255, 0, 0},   {0, 255, 0},     {0, 0, 255},  {255, 0, 255},
                                            {255, 255, 0}, {255, 255, 255}, {255, 64, 0}, {255, 255, 255}};
    const std::uint8_t spareColors[8][3] = {{255, 0, 0},   {0, 255, 0},     {0, 0, 255},     {255, 0, 255},
                                            {255, 255, 0}, {255, 255, 255}, {255, 255, 255}, {255, 128, 0}};
    for (int i = 0; i < 8; ++i)
        for (int c = 0; c < 3; ++c) {
            Put8(r, 2400 + 4 * i + c, stageColors[i][c]);
            Put8(r, 2432 + 4 * i + c, spareColors[i][c]);
        }
    const std::uint8_t functions[18] = {1, 2, 3, 6, 24, 4, 5, 0, 52, 0, 0, 0, 0, 0, 0, 0, 11, 12};
    for (int k = 0; k < 18; ++k) {
        const std::size_t slot = kSlotsAt + kSlotBytes * k;
        Put8(r, slot + 0, static_cast<std::uint8_t>(k));
        Put8(r, slot + 1, functions[k]);
        Put16(r, slot + 8, 562);
        Put32(r, slot + 1072, -1);
        Put32(r, slot + 1076, -1);
    }
    return r;
}

inline Bytes HeaderBytes(std::int32_t selected) {
    Bytes h(kHeaderBytes, 0);
    Put32(h, 0, selected);
    return h;
}

inline void Append(Bytes& to, const Bytes& from) {
    to.insert(to.end(), from.begin(), from.end());
}

inline Bytes ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::filesystem::path& path, const Bytes& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A folder below the system's temporary folder, removed again with the object.
class TemporaryFolder {
public:
    TemporaryFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillon-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

}  // namespace quillon::test
