// The built program as a user meets it: started from a copy of the demo program folder (the real
// executable beside the simulated mouse), offscreen, as separate processes.

#include "core/records/profile_record.h"
#include "core/store/profile_store.h"
#include "support/demo_copy.h"
#include "support/qt_app.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <optional>

namespace quillon::test {
namespace {

namespace fs = std::filesystem;

constexpr int kStartMs = 30000;
constexpr std::uintmax_t kOneProfileStoreSize = sizeof(StoreHeader) + sizeof(ProfileRecord);
static_assert(kOneProfileStoreSize == 609220);

// A fresh copy of the demo program folder (so Data/ starts empty) with its own runtime folder (so
// the single-instance lock is this test's own).
class DemoProgram : public ::testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        ASSERT_TRUE(m_dir.isValid());
        DemoCopy copy = CopyDemoFolder(fs::path(m_dir.path().toStdString()),
                                       {"quillon", "hiddriver_4k_1.so", "hiddriver_4k_2.so", "quillon-sim"});
        m_folder = copy.folder;
        m_runtime = copy.runtime;
        m_environment = copy.environment;
    }

    void TearDown() override {
        for (auto& process : m_processes) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(kStartMs);
            }
        }
    }

    QProcess& Start(const fs::path& program, const QStringList& arguments = {}) {
        auto& process = *m_processes.emplace_back(std::make_unique<QProcess>());
        process.setProcessEnvironment(m_environment);
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setWorkingDirectory(QString::fromStdString(m_folder.string()));
        process.start(QString::fromStdString(program.string()), arguments);
        EXPECT_TRUE(process.waitForStarted(kStartMs)) << program;
        return process;
    }
    QProcess& StartQuillon() { return Start(m_folder / "quillon"); }

    // Runs quillon-sim with `arguments` and returns its exit code.
    int Sim(const QStringList& arguments) {
        QProcess& sim = Start(m_folder / "quillon-sim", arguments);
        EXPECT_TRUE(sim.waitForFinished(kStartMs));
        return sim.exitCode();
    }

    // Ends the program the way the session does at logout, and returns its exit code.
    static std::optional<int> Terminate(QProcess& process) {
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        if (!process.waitForFinished(kStartMs) || process.exitStatus() != QProcess::NormalExit)
            return std::nullopt;
        return process.exitCode();
    }

    bool WaitForSingleInstanceSocket() {
        return PumpUntil([&] { return fs::exists(m_runtime / "Quillon"); }, kStartMs);
    }

    fs::path Store() const { return m_folder / "Data" / "ms_1" / "pro.data"; }

    // The current DPI stage of the selected profile in the saved store, when the store is whole.
    std::optional<int> SavedDpiStep() const {
        QFile file(QString::fromStdString(Store().string()));
        if (!file.open(QIODevice::ReadOnly))
            return std::nullopt;
        const QByteArray bytes = file.readAll();
        if (bytes.size() < static_cast<qsizetype>(kOneProfileStoreSize) ||
            (bytes.size() - sizeof(StoreHeader)) % sizeof(ProfileRecord) != 0)
            return std::nullopt;
        std::int32_t selected = 0;
        std::memcpy(&selected, bytes.constData(), sizeof selected);
        const std::size_t records = (bytes.size() - sizeof(StoreHeader)) / sizeof(ProfileRecord);
        if (selected < 0 || static_cast<std::size_t>(selected) >= records)
            return std::nullopt;
        std::int32_t step = 0;
        std::memcpy(&step,
                    bytes.constData() + sizeof(StoreHeader) + selected * sizeof(ProfileRecord) +
                        offsetof(ProfileRecord, dpi_step),
                    sizeof step);
        return step;
    }

    QProcessEnvironment m_environment;

private:
    QTemporaryDir m_dir;
    fs::path m_folder;
    fs::path m_runtime;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

TEST_F(DemoProgram, SecondStartBringsTheRunningCopyForwardAndEndsWithOne) {
    QProcess& first = StartQuillon();
    ASSERT_TRUE(WaitForSingleInstanceSocket()) << "the first copy never listened for a second start";

    QProcess& second = StartQuillon();
    ASSERT_TRUE(second.waitForFinished(kStartMs));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 1);
    EXPECT_EQ(first.state(), QProcess::Running) << "the running copy goes on";

    EXPECT_EQ(Terminate(first), 0);
}

TEST_F(DemoProgram, KeepsTheStageTheMouseSwitchedToAndSavesAWholeStoreWhenTerminated) {
    QProcess& quillon = StartQuillon();
    ASSERT_TRUE(PumpUntil([&] { return SavedDpiStep().has_value(); }, kStartMs))
        << "the program never created its profile store";
    EXPECT_EQ(fs::file_size(Store()), kOneProfileStoreSize);
    const int before = *SavedDpiStep();

    // The user presses the mouse's DPI button: the mouse switches stage and reports it.
    const int stage = before == 2 ? 5 : 3;  // 1-based, as the mouse's own button counts
    ASSERT_EQ(Sim({"dpi", QString::number(stage)}), 0) << "the simulated mouse did not take the command";
    EXPECT_TRUE(PumpUntil([&] { return SavedDpiStep() == stage - 1; }, kStartMs))
        << "the stage the mouse reported never reached the saved store";

    EXPECT_EQ(Terminate(quillon), 0);
    EXPECT_EQ(fs::file_size(Store()), kOneProfileStoreSize) << "a whole store, not a half-written one";
    EXPECT_EQ(SavedDpiStep(), stage - 1);
}

}  // namespace
}  // namespace quillon::test
