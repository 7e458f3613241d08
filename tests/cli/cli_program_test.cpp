// quillon-cli as a user meets it: the real executables of a copy of the demo program folder, the
// simulated mouse behind them, started as separate processes. What reached the mouse is read from
// the simulated mouse: its log of accepted reports replayed into a model of the mouse when the
// command line worked alone, its state ("quillon-sim state") while the window holds it.

#include "core/protocol/device_model.h"
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
#include <fstream>
#include <optional>
#include <sstream>

namespace quillon::test {
namespace {

namespace fs = std::filesystem;

// Bounds for a broken run; a passing one takes the mouse's own pace (a second per frame).
constexpr int kLimitMs = 60000;

struct Result {
    int exit = -1;
    std::string out;
    std::string err;
};

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        TestApplication();
        ASSERT_TRUE(m_dir.isValid());
        DemoCopy copy = CopyDemoFolder(
            fs::path(m_dir.path().toStdString()),
            {"quillon", "quillon-cli", "hiddriver_4k_1.so", "hiddriver_4k_2.so", "quillon-sim"});
        m_folder = copy.folder;
        m_runtime = copy.runtime;
        m_environment = copy.environment;
    }

    void TearDown() override {
        for (auto& process : m_processes) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(kLimitMs);
            }
        }
    }

    QProcess& Start(const char* program, const QStringList& arguments) {
        auto& process = *m_processes.emplace_back(std::make_unique<QProcess>());
        process.setProcessEnvironment(m_environment);
        process.setWorkingDirectory(QString::fromStdString(m_folder.string()));
        process.start(QString::fromStdString((m_folder / program).string()), arguments);
        EXPECT_TRUE(process.waitForStarted(kLimitMs)) << program;
        return process;
    }

    Result Run(const char* program, const QStringList& arguments) {
        QProcess& process = Start(program, arguments);
        // The window may have to serve the command line meanwhile: pump, never block.
        EXPECT_TRUE(PumpUntil([&] { return process.state() == QProcess::NotRunning; }, kLimitMs))
            << program << " " << arguments.join(' ').toStdString();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
    }
    Result Cli(const QStringList& arguments) { return Run("quillon-cli", arguments); }
    std::string SimState() { return Run("quillon-sim", {"state"}).out; }

    QProcess& StartWindow() {
        QProcess& quillon = Start("quillon", {});
        EXPECT_TRUE(PumpUntil([&] { return fs::exists(m_runtime / "Quillon"); }, kLimitMs))
            << "the window never listened on its socket";
        return quillon;
    }
    static void Terminate(QProcess& process) {
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        EXPECT_TRUE(process.waitForFinished(kLimitMs));
        EXPECT_EQ(process.exitCode(), 0);
    }

    // The mouse as the reports that the simulated mouse accepted have left it.
    DeviceModel ReplayedMouse() const {
        DeviceModel mouse;
        std::ifstream log(m_folder / "Data" / "simulated_mouse.log");
        std::string line;
        while (std::getline(log, line)) {
            const std::size_t at = line.find(" write ");
            if (at == std::string::npos)
                continue;
            std::istringstream hex(line.substr(at + 7));
            std::vector<std::uint8_t> report;
            unsigned byte = 0;
            while (hex >> std::hex >> byte)
                report.push_back(static_cast<std::uint8_t>(byte));
            mouse.Feed(report);
        }
        return mouse;
    }
    static int StageDpi(const DeviceModel& mouse, std::size_t stage) {
        return (mouse.State().stageSteps[stage] + 1) * 50;
    }

    // The saved store as the next start reads it.
    struct Saved {
        int selected = -1;
        std::vector<std::unique_ptr<ProfileRecord>> records;
    };
    Saved SavedStore() const {
        Saved saved;
        std::ifstream file(m_folder / "Data" / "ms_1" / "pro.data", std::ios::binary);
        auto header = std::make_unique<StoreHeader>();
        if (!file.read(reinterpret_cast<char*>(header.get()), sizeof *header))
            return saved;
        saved.selected = header->selected;
        for (;;) {
            auto record = std::make_unique<ProfileRecord>();
            if (!file.read(reinterpret_cast<char*>(record.get()), sizeof *record))
                break;
            saved.records.push_back(std::move(record));
        }
        return saved;
    }
    std::string Path(const char* name) const {
        return (fs::path(m_dir.path().toStdString()) / name).string();
    }

    QProcessEnvironment m_environment;
    fs::path m_folder;

private:
    QTemporaryDir m_dir;
    fs::path m_runtime;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

TEST_F(CommandLine, WithoutTheWindowItSendsItsChangesToTheMouseAndSavesThem) {
    Result r = Cli({"list"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "* 1  Profile 1\n");

    r = Cli({"status"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("2.4 GHz receiver: open, awake\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("battery: 80%\n"), std::string::npos) << r.out;

    r = Cli({"set", "dpi.3=1650", "light.effect=breathing"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(StageDpi(ReplayedMouse(), 2), 1650);
    ASSERT_EQ(SavedStore().records.size(), 1u);
    EXPECT_EQ(SavedStore().records[0]->dpi_x[2], 33);

    // A copy of the profile as a second one; the first changes again; selecting the copy sends it.
    ASSERT_EQ(Cli({"export", "Profile 1", "copy.json"}).exit, 0);
    r = Cli({"import", "copy.json"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "imported " + (m_folder / "copy.json").string() + " as 2: Profile 1_1\n");
    ASSERT_EQ(Cli({"set", "dpi.3=1200"}).exit, 0);
    EXPECT_EQ(StageDpi(ReplayedMouse(), 2), 1200);
    r = Cli({"--json", "select", "profile 1_1"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "{\"selected\":2,\"name\":\"Profile 1_1\"}\n");
    EXPECT_EQ(StageDpi(ReplayedMouse(), 2), 1650);
    EXPECT_EQ(SavedStore().selected, 1);

    ASSERT_EQ(Cli({"export", "2", Path("two.pro").c_str()}).exit, 0);
    EXPECT_EQ(fs::file_size(Path("two.pro")), sizeof(ProfileRecord));
    EXPECT_EQ(ReplayedMouse().RejectedReports(), 0u);
}

TEST_F(CommandLine, WithoutAMouseChangesAreSavedAndTheExitStatusSaysSo) {
    m_environment.insert("QUILLON_SIM_LINKS", "none");
    Result r = Cli({"status"});
    EXPECT_EQ(r.exit, 2);
    EXPECT_EQ(r.err,
              "quillon-cli: no mouse: neither the cable, the receiver nor Bluetooth LE is connected\n");

    r = Cli({"set", "dpi.2=900"});
    EXPECT_EQ(r.exit, 2);
    EXPECT_EQ(r.out, "dpi.2 = 900\n");
    EXPECT_EQ(r.err,
              "quillon-cli: no mouse is awake: the change is saved and reaches the mouse when it wakes\n");
    ASSERT_EQ(SavedStore().records.size(), 1u);
    EXPECT_EQ(SavedStore().records[0]->dpi_x[1], 18);
}

TEST_F(CommandLine, RefusedInputsExitWithOneAndAMessage) {
    const struct {
        QStringList args;
        std::string err;
    } cases[] = {
        {{}, "quillon-cli: no command given (see quillon-cli --help)\n"},
        {{"--force", "list"}, "quillon-cli: unknown option '--force' (see quillon-cli --help)\n"},
        {{"reset"}, "quillon-cli: unknown command 'reset' (see quillon-cli --help)\n"},
        {{"set", "dpi.3=1601"}, "quillon-cli: set: dpi.3: must be a multiple of 50\n"},
        {{"set", "polling=300"},
         "quillon-cli: set: polling: must be 125, 250, 500, 1000, 2000, 4000 or 8000\n"},
        {{"select", "Nope"}, "quillon-cli: select: no profile 'Nope'\n"},
    };
    for (const auto& c : cases) {
        const Result r = Cli(c.args);
        EXPECT_EQ(r.exit, 1) << c.args.join(' ').toStdString();
        EXPECT_EQ(r.err, c.err);
    }
    EXPECT_FALSE(fs::exists(m_folder / "Data" / "simulated_mouse.log"))
        << "a refused command never opens the mouse";
    const Result help = Cli({"--help"});
    EXPECT_EQ(help.exit, 0);
    EXPECT_NE(help.out.find("Exit status:"), std::string::npos);
}

TEST_F(CommandLine, WithTheWindowOpenTheWindowCarriesTheCommandsOut) {
    QProcess& quillon = StartWindow();
    // The window's status: once the mouse has reported its power through the window, it is awake.
    Result r;
    ASSERT_TRUE(PumpUntil(
        [&] {
            r = Cli({"--json", "status"});
            return r.out.find("\"awake\": true") != std::string::npos;
        },
        kLimitMs));
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_NE(r.out.find("\"battery\": 80"), std::string::npos) << r.out;

    r = Cli({"set", "dpi.3=1650"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "dpi.3 = 1650\n");
    EXPECT_TRUE(PumpUntil([&] { return SimState().find("stages (DPI): 400 800 1650 ") != std::string::npos; },
                          kLimitMs))
        << SimState();

    ASSERT_EQ(Cli({"export", "1", "copy.pro"}).exit, 0);
    r = Cli({"import", "copy.pro"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(Cli({"list"}).out, "* 1  Profile 1\n  2  Profile 1_1\n");
    ASSERT_EQ(Cli({"set", "dpi.3=1200"}).exit, 0);
    EXPECT_TRUE(PumpUntil([&] { return SimState().find("stages (DPI): 400 800 1200 ") != std::string::npos; },
                          kLimitMs));
    r = Cli({"select", "2"});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "selected 2: Profile 1_1\n");
    EXPECT_TRUE(PumpUntil([&] { return SimState().find("stages (DPI): 400 800 1650 ") != std::string::npos; },
                          kLimitMs));
    EXPECT_NE(Cli({"show"}).out.find("profile 2 (selected)\nname = Profile 1_1\n"), std::string::npos);

    r = Cli({"set", "dpi.3=1601"});
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.err, "quillon-cli: set: dpi.3: must be a multiple of 50\n");

    Terminate(quillon);
    const Saved saved = SavedStore();
    EXPECT_EQ(saved.selected, 1);
    ASSERT_EQ(saved.records.size(), 2u);
    EXPECT_EQ(saved.records[0]->dpi_x[2], 24);
    EXPECT_EQ(saved.records[1]->dpi_x[2], 33);
}

}  // namespace
}  // namespace quillon::test
