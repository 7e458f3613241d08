#include "core/store/atomic_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <system_error>
#include <unistd.h>

namespace quillon {

namespace {

class PosixOutputFile final : public OutputFile {
public:
    explicit PosixOutputFile(int fd) : m_fd(fd) {}
    ~PosixOutputFile() override {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    PosixOutputFile(const PosixOutputFile&) = delete;
    PosixOutputFile& operator=(const PosixOutputFile&) = delete;

    bool Write(std::span<const std::byte> bytes) override {
        while (!bytes.empty()) {
            const ssize_t written = ::write(m_fd, bytes.data(), bytes.size());
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                return false;
            }
            bytes = bytes.subspan(static_cast<std::size_t>(written));
        }
        return true;
    }

    bool Finish() override {
        const bool synced = ::fsync(m_fd) == 0;
        const bool closed = ::close(m_fd) == 0;
        m_fd = -1;
        return synced && closed;
    }

private:
    int m_fd;
};

class PosixFileWriter final : public FileWriter {
public:
    std::unique_ptr<OutputFile> Create(const std::filesystem::path& path) override {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0)
            return nullptr;
        return std::make_unique<PosixOutputFile>(fd);
    }

    bool Replace(const std::filesystem::path& from, const std::filesystem::path& to) override {
        if (std::rename(from.c_str(), to.c_str()) != 0)
            return false;
        // Make the rename itself last across a power cut; a failure here does not undo it.
        const std::filesystem::path folder = to.has_parent_path() ? to.parent_path() : ".";
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
        return true;
    }
};

}  // namespace

FileWriter& SystemFileWriter() {
    static PosixFileWriter writer;
    return writer;
}

std::filesystem::path TemporaryPathFor(const std::filesystem::path& target) {
    std::filesystem::path temporary = target;
    temporary += ".tmp";
    return temporary;
}

namespace {

bool SameContent(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    const auto size = std::filesystem::file_size(a, error);
    if (error || size != std::filesystem::file_size(b, error) || error)
        return false;
    std::ifstream first(a, std::ios::binary);
    std::ifstream second(b, std::ios::binary);
    if (!first || !second)
        return false;
    return std::equal(std::istreambuf_iterator<char>(first), std::istreambuf_iterator<char>(),
                      std::istreambuf_iterator<char>(second), std::istreambuf_iterator<char>());
}

}  // namespace

std::filesystem::path BackupPathFor(const std::filesystem::path& file, unsigned number) {
    std::filesystem::path backup = file;
    backup += ".bak";
    if (number > 0)
        backup += "." + std::to_string(number);
    return backup;
}

std::filesystem::path KeepNumberedBackup(const std::filesystem::path& file) {
    // Enough names for every damaged start a user could plausibly have; past them the file is
    // repaired without a further backup rather than overwriting an older one.
    constexpr unsigned kBackupNames = 1000;
    for (unsigned number = 0; number < kBackupNames; ++number) {
        const std::filesystem::path backup = BackupPathFor(file, number);
        std::error_code error;
        if (std::filesystem::symlink_status(backup, error).type() != std::filesystem::file_type::not_found) {
            // A store that is only rewritten at its next save is found damaged again at the next
            // start; the copy kept then is still the copy.
            if (SameContent(file, backup))
                return backup;
            continue;
        }
        if (std::filesystem::copy_file(file, backup, std::filesystem::copy_options::none, error))
            return backup;
        // A file that cannot even be read can still be moved aside whole.
        std::filesystem::rename(file, backup, error);
        return error ? std::filesystem::path() : backup;
    }
    return {};
}

std::string WriteFailureReason(const WriteResult& result) {
    std::string what;
    switch (result.status) {
    case WriteStatus::Written:
        return {};
    case WriteStatus::CannotCreateFolder:
        what = "the folder could not be created";
        break;
    case WriteStatus::CannotCreate:
        what = "the temporary file could not be created";
        break;
    case WriteStatus::WriteFailed:
        what = "the content could not be written";
        break;
    case WriteStatus::ReplaceFailed:
        what = "the new file could not replace the old one";
        break;
    }
    if (result.systemError != 0)
        what += ": " + std::error_code(result.systemError, std::generic_category()).message();
    return what;
}

WriteResult WriteFileAtomically(FileWriter& writer, const std::filesystem::path& target,
                                std::initializer_list<std::span<const std::byte>> pieces) {
    return WriteFileAtomically(writer, target,
                               std::span<const std::span<const std::byte>>(pieces.begin(), pieces.size()));
}

WriteResult WriteFileAtomically(FileWriter& writer, const std::filesystem::path& target,
                                std::span<const std::span<const std::byte>> pieces) {
    if (target.has_parent_path()) {
        std::error_code error;
        std::filesystem::create_directories(target.parent_path(), error);
        std::error_code ignored;
        if (!std::filesystem::is_directory(target.parent_path(), ignored))
            return {WriteStatus::CannotCreateFolder, error ? error.value() : ENOTDIR};
    }
    const std::filesystem::path temporary = TemporaryPathFor(target);
    auto discardTemporary = [&] {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
    };

    // errno is read right after the call that failed, before the clean-up can change it.
    errno = 0;
    std::unique_ptr<OutputFile> file = writer.Create(temporary);
    if (!file)
        return {WriteStatus::CannotCreate, errno};
    int writeError = 0;
    bool written = true;
    for (const auto& piece : pieces) {
        if (!file->Write(piece)) {
            writeError = errno;
            written = false;
            break;
        }
    }
    errno = 0;
    const bool finished = file->Finish();
    if (!finished && writeError == 0)
        writeError = errno;
    file.reset();
    if (!written || !finished) {
        discardTemporary();
        return {WriteStatus::WriteFailed, writeError};
    }
    errno = 0;
    if (!writer.Replace(temporary, target)) {
        const int replaceError = errno;
        discardTemporary();
        return {WriteStatus::ReplaceFailed, replaceError};
    }
    return {};
}

}  // namespace quillon
