// Loads arbitrary pro.data contents and checks that the store always hands the page a usable list:
// at least one record, a selected index inside it, bounded names and macro counts, and a file that
// loads cleanly once it has been repaired.
//
// Whole records are 101,536 bytes, far more than a fuzzer likes to mutate, so inputs longer than
// four bytes are spread over a file: bytes 0..3 are the selected index, byte 4 chooses whether the
// record bytes that follow are padded with zeros to whole records (odd) or left as they are (even),
// and the reserved area of the header stays zero. Inputs of four bytes or fewer are the file itself.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/store/profile_store.h"
#include "core/text16.h"

namespace {

// A scratch folder for the store, removed when the fuzzer exits.
struct ScratchFolder {
    ScratchFolder() {
        // Memory-backed when the system has such a folder: every run writes a few megabytes.
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
        std::string pattern = (base / "quillon-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        path = pattern;
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path path;
};

const std::filesystem::path& Folder() {
    static const ScratchFolder folder;
    return folder.path;
}

// Writes without flushing to the disk: the flush makes every save take milliseconds, and what is
// checked here is what the store does with the bytes, not the durability of the file.
class QuickWriter final : public quillon::FileWriter {
    class File final : public quillon::OutputFile {
    public:
        explicit File(std::FILE* file) : m_file(file) {}
        ~File() override {
            if (m_file)
                std::fclose(m_file);
        }
        bool Write(std::span<const std::byte> bytes) override {
            return std::fwrite(bytes.data(), 1, bytes.size(), m_file) == bytes.size();
        }
        bool Finish() override {
            const bool closed = std::fclose(m_file) == 0;
            m_file = nullptr;
            return closed;
        }

    private:
        std::FILE* m_file;
    };

public:
    std::unique_ptr<quillon::OutputFile> Create(const std::filesystem::path& path) override {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        return file ? std::make_unique<File>(file) : nullptr;
    }
    bool Replace(const std::filesystem::path& from, const std::filesystem::path& to) override {
        return std::rename(from.c_str(), to.c_str()) == 0;
    }
};

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillon;
    std::vector<std::uint8_t> file(data, data + std::min<std::size_t>(size, 4));
    if (size > 4) {
        file.resize(sizeof(StoreHeader), 0);
        file.insert(file.end(), data + 5, data + size);
        if (data[4] & 1) {
            const std::size_t records = (size - 5 + sizeof(ProfileRecord) - 1) / sizeof(ProfileRecord);
            file.resize(sizeof(StoreHeader) + records * sizeof(ProfileRecord), 0);
        }
    }
    std::filesystem::remove_all(Folder() / "Data");
    std::filesystem::create_directories(Folder() / "Data" / "ms_1");
    static QuickWriter writer;
    ProfileStore store(Folder() / "Data", writer);
    if (std::FILE* out = std::fopen(store.FilePath().c_str(), "wb")) {
        std::fwrite(file.data(), 1, file.size(), out);
        std::fclose(out);
    }

    ProfileList list;
    auto header = std::make_unique<StoreHeader>();
    const LoadReport loaded = store.Load(list, *header, u"Profile");
    // Each damaged start keeps a backup of its own; the fuzzer's would pile up.
    if (loaded.backupKept) {
        std::error_code ignored;
        std::filesystem::remove(loaded.backupPath, ignored);
    }
    Check(!list.empty());
    Check(header->selected >= 0 && static_cast<std::size_t>(header->selected) < list.size());
    for (const auto& record : list) {
        Check(BoundedLength(record->profile_name.data(), kProfileNameCapacity) < kProfileNameCapacity);
        for (const ButtonSlot& slot : record->slots) {
            Check(slot.action_count <= kMacroActionCapacity);
            Check(BoundedLength(slot.macro_name.data(), kMacroNameCapacity) < kMacroNameCapacity);
        }
    }

    // Whatever was repaired is whole now and loads without a further repair.
    Check(store.Save(list, *header).Ok());
    ProfileList again;
    const LoadReport report = store.Load(again, *header, u"Profile");
    Check(report.outcome == LoadOutcome::Loaded && again.size() == list.size());
    return 0;
}
