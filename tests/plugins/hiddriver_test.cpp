// The HID driver against a fake hidapi: arrival, removal, reads, writes and failed opens.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "hid_driver.h"

using namespace quillon::hid;
using namespace std::chrono_literals;

namespace {

constexpr uint32_t kDataMessage = 0x603;
constexpr uint32_t kPlugMessage = 0x604;
constexpr uint16_t kVendor = 0x1D57;
constexpr uint16_t kProduct = 0xFA7F;

// A scripted set of HID devices. Reads block until a report is queued for the interface, the
// interface disappears (the read then fails as hidraw does on unplug) or the timeout passes.
class FakeHid {
public:
    struct OpenDevice {
        std::string path;
    };

    Backend backend() {
        Backend b;
        b.enumerate = [this](uint16_t vendor, uint16_t product) {
            std::lock_guard lock(m_mutex);
            ++enumerations;
            std::vector<DeviceEntry> result;
            if (vendor == kVendor && product == kProduct)
                result = m_entries;
            return result;
        };
        b.open = [this](const std::string& path, OpenFailure& failure) -> Handle {
            std::lock_guard lock(m_mutex);
            ++opens;
            if (auto it = m_openFailures.find(path); it != m_openFailures.end()) {
                failure = it->second;
                return nullptr;
            }
            if (!listed(path)) {
                failure = OpenFailure::NotFound;
                return nullptr;
            }
            openPaths.push_back(path);
            return new OpenDevice{path};
        };
        b.close = [this](Handle handle) {
            auto* device = static_cast<OpenDevice*>(handle);
            std::lock_guard lock(m_mutex);
            openPaths.erase(std::find(openPaths.begin(), openPaths.end(), device->path));
            delete device;
        };
        b.write = [this](Handle handle, const uint8_t* data, size_t length) {
            auto* device = static_cast<OpenDevice*>(handle);
            std::lock_guard lock(m_mutex);
            if (!listed(device->path))
                return -1;
            written.emplace_back(device->path, std::vector<uint8_t>(data, data + length));
            return static_cast<int>(length);
        };
        b.read = [this](Handle handle, uint8_t* buffer, size_t length, int timeoutMs) {
            auto* device = static_cast<OpenDevice*>(handle);
            std::unique_lock lock(m_mutex);
            auto& queue = m_inputs[device->path];
            m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
                return !queue.empty() || !listed(device->path) || m_brokenReads.count(device->path) != 0;
            });
            if (!listed(device->path) || m_brokenReads.count(device->path) != 0)
                return -1;
            if (queue.empty())
                return 0;
            std::vector<uint8_t> report = queue.front();
            queue.pop_front();
            const size_t count = std::min(length, report.size());
            std::copy_n(report.begin(), count, buffer);
            return static_cast<int>(count);
        };
        return b;
    }

    void plug(std::vector<DeviceEntry> entries) {
        std::lock_guard lock(m_mutex);
        m_entries = std::move(entries);
        m_changed.notify_all();
    }
    void unplug() { plug({}); }
    void failOpen(const std::string& path, OpenFailure failure) {
        std::lock_guard lock(m_mutex);
        m_openFailures[path] = failure;
    }
    // Every read of the interface fails although it stays listed.
    void breakReads(const std::string& path) {
        std::lock_guard lock(m_mutex);
        m_brokenReads.insert(path);
    }
    int openCount() const {
        std::lock_guard lock(m_mutex);
        return opens;
    }
    void allowOpen(const std::string& path) {
        std::lock_guard lock(m_mutex);
        m_openFailures.erase(path);
    }
    void send(const std::string& path, std::vector<uint8_t> report) {
        std::lock_guard lock(m_mutex);
        m_inputs[path].push_back(std::move(report));
        m_changed.notify_all();
    }
    std::vector<std::string> open() const {
        std::lock_guard lock(m_mutex);
        return openPaths;
    }

    int enumerations = 0;
    int opens = 0;
    std::vector<std::string> openPaths;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> written;

private:
    bool listed(const std::string& path) const {
        return std::any_of(m_entries.begin(), m_entries.end(),
                           [&](const DeviceEntry& e) { return e.path == path; });
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<DeviceEntry> m_entries;
    std::map<std::string, OpenFailure> m_openFailures;
    std::set<std::string> m_brokenReads;
    std::map<std::string, std::deque<std::vector<uint8_t>>> m_inputs;
};

struct Posted {
    uint32_t message;
    uintptr_t wparam;
    std::vector<uint8_t> bytes;
    intptr_t lparam;
    bool operator==(const Posted&) const = default;
};

// Records what the driver posts and lets a test wait for a number of messages.
class Window {
public:
    HostPoster poster() {
        HostPoster host;
        host.post = [this](QuillonWindow window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
            EXPECT_EQ(window, handle());
            add({message, wparam, {}, lparam});
            return 1;
        };
        host.postData = [this](QuillonWindow window, uint32_t message, const void* data, size_t size,
                               intptr_t lparam) {
            EXPECT_EQ(window, handle());
            auto* bytes = static_cast<const uint8_t*>(data);
            add({message, 0, std::vector<uint8_t>(bytes, bytes + size), lparam});
            return 1;
        };
        return host;
    }
    QuillonWindow handle() { return this; }

    // Waits for an event on another thread, not for time: the limit only keeps a broken driver from
    // hanging the test run.
    std::vector<Posted> waitFor(size_t count) {
        std::unique_lock lock(m_mutex);
        m_arrived.wait_for(lock, 20s, [&] { return m_messages.size() >= count; });
        return m_messages;
    }
    std::vector<Posted> messages() {
        std::lock_guard lock(m_mutex);
        return m_messages;
    }

private:
    void add(Posted posted) {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(std::move(posted));
        m_arrived.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<Posted> m_messages;
};

const DeviceEntry kMouseInterface{"/dev/hidraw0", 0x0001, 0x0002, 0, ""};
const DeviceEntry kVendorInterface{"/dev/hidraw1", 0xFF02, 0x0001, 1, ""};
const Posted kArrived{kPlugMessage, 1, {}, 0};
const Posted kLeft{kPlugMessage, 0, {}, 0};

// The monitor enumerates only when a test asks (pollNow) or a reader fails; the interval is far
// beyond any test's length.
DriverTiming testTiming() {
    return {std::chrono::hours(1), 5};
}

class HidDriverTest : public ::testing::Test {
protected:
    void SetUp() override { driver.SetIds(kVendor, kProduct); }
    void startMonitor() { driver.OpenMonitor(window.handle(), kDataMessage, kPlugMessage, window.poster()); }

    FakeHid hid;
    Window window;
    HidDriver driver{hid.backend(), testTiming()};
};

}  // namespace

TEST(ChooseReportInterface, TakesTheVendorDefinedInterfaceWithTheLowestNumber) {
    struct Case {
        const char* name;
        std::vector<DeviceEntry> entries;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"only standard collections", {{"/a", 0x0001, 2, 0, ""}, {"/b", 0x000C, 1, 0, ""}}, nullptr},
        {"page just below the vendor range", {{"/a", 0xFEFF, 1, 1, ""}}, nullptr},
        {"first vendor page", {{"/a", 0x0001, 2, 0, ""}, {"/b", 0xFF00, 1, 1, ""}}, "/b"},
        {"lowest interface wins", {{"/c", 0xFF01, 1, 2, ""}, {"/b", 0xFF00, 1, 1, ""}}, "/b"},
        {"tie keeps enumeration order", {{"/c", 0xFF01, 1, 1, ""}, {"/b", 0xFF00, 1, 1, ""}}, "/c"},
        {"nothing listed", {}, nullptr},
    };
    for (const Case& c : cases) {
        const DeviceEntry* chosen = ChooseReportInterface(c.entries);
        if (c.expected == nullptr)
            EXPECT_EQ(chosen, nullptr) << c.name;
        else
            EXPECT_EQ(chosen ? chosen->path : "(none)", c.expected) << c.name;
    }
}

TEST_F(HidDriverTest, ReportsArrivalAndRemovalOnceEach) {
    startMonitor();
    driver.PollNow();
    hid.plug({kMouseInterface, kVendorInterface});
    driver.PollNow();
    driver.PollNow();
    hid.unplug();
    driver.PollNow();
    driver.PollNow();
    driver.CloseMonitor();
    EXPECT_EQ(window.messages(), (std::vector<Posted>{kArrived, kLeft}));
}

TEST_F(HidDriverTest, DevicePresentAtStartIsNotAnArrival) {
    hid.plug({kMouseInterface, kVendorInterface});
    startMonitor();
    driver.PollNow();
    driver.CloseMonitor();
    EXPECT_TRUE(window.messages().empty());
}

TEST_F(HidDriverTest, PostsEveryInputReportOfTheVendorInterfaceWithItsLength) {
    hid.plug({kMouseInterface, kVendorInterface});
    startMonitor();
    driver.PollNow();
    // Movement on the standard mouse interface must not flood the program: it is never opened.
    EXPECT_EQ(hid.open(), std::vector<std::string>{kVendorInterface.path});
    hid.send(kVendorInterface.path, {0x05, 0x3C, 0x40, 0x01, 0x55});
    hid.send(kVendorInterface.path, {0x05, 0x3C, 0x10, 0x03});
    const auto messages = window.waitFor(2);
    driver.CloseMonitor();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], (Posted{kDataMessage, 0, {0x05, 0x3C, 0x40, 0x01, 0x55}, 5}));
    EXPECT_EQ(messages[1], (Posted{kDataMessage, 0, {0x05, 0x3C, 0x10, 0x03}, 4}));
}

TEST_F(HidDriverTest, FailedReadReportsRemovalWithoutWaitingForThePoll) {
    hid.plug({kMouseInterface, kVendorInterface});
    startMonitor();
    driver.PollNow();
    // No pollNow: only the reader's failure can make the monitor look again within the hour.
    hid.unplug();
    const auto messages = window.waitFor(1);
    driver.CloseMonitor();
    EXPECT_EQ(messages, std::vector<Posted>{kLeft});
    EXPECT_TRUE(hid.open().empty());
}

TEST_F(HidDriverTest, ReplugBetweenTwoPollsIsRemovalThenArrival) {
    hid.plug({{"/dev/hidraw3", 0xFF02, 1, 1, ""}});
    startMonitor();
    driver.PollNow();
    hid.plug({{"/dev/hidraw7", 0xFF02, 1, 1, ""}});
    driver.PollNow();
    driver.CloseMonitor();
    // Whether the old reader's failure or the poll saw it first, the program must hear both.
    const auto messages = window.messages();
    EXPECT_EQ(messages, (std::vector<Posted>{kLeft, kArrived}));
}

TEST_F(HidDriverTest, ReplugThatGetsTheSameNodeBackIsRemovalThenArrival) {
    // The kernel hands the freed hidraw number to the next device, so a quick replug often shows
    // the old path; only the HID device behind it is new.
    hid.plug({{"/dev/hidraw3", 0xFF02, 1, 1, "0003:1D57:FA7F.0001"}});
    startMonitor();
    driver.PollNow();
    hid.plug({{"/dev/hidraw3", 0xFF02, 1, 1, "0003:1D57:FA7F.0002"}});
    driver.PollNow();
    driver.PollNow();
    driver.CloseMonitor();
    EXPECT_EQ(window.messages(), (std::vector<Posted>{kLeft, kArrived}));
}

TEST_F(HidDriverTest, InterfaceThatFailsEveryReadIsNotReopenedInALoop) {
    hid.breakReads(kVendorInterface.path);
    hid.plug({kVendorInterface});
    startMonitor();
    // The first enumeration opens the reader; its failing read asks for a second enumeration at
    // once. That one must leave the interface alone until the regular poll.
    while (driver.PollCount() < 2)
        std::this_thread::yield();
    EXPECT_EQ(hid.openCount(), 1);
    driver.CloseMonitor();
    EXPECT_TRUE(window.messages().empty()) << "the device never left";
}

TEST_F(HidDriverTest, ReaderThatCouldNotOpenIsRetriedOnTheNextPoll) {
    hid.failOpen(kVendorInterface.path, OpenFailure::PermissionDenied);
    hid.plug({kVendorInterface});
    startMonitor();
    driver.PollNow();
    EXPECT_TRUE(hid.open().empty());
    hid.allowOpen(kVendorInterface.path);
    driver.PollNow();
    hid.send(kVendorInterface.path, {0x05, 0x3C, 0x40, 0x03, 0x00});
    const auto messages = window.waitFor(1);
    driver.CloseMonitor();
    EXPECT_EQ(messages, (std::vector<Posted>{{kDataMessage, 0, {0x05, 0x3C, 0x40, 0x03, 0x00}, 5}}));
}

TEST_F(HidDriverTest, CloseMonitorEndsEveryThreadAndPostsNothingMore) {
    hid.plug({kVendorInterface});
    startMonitor();
    driver.PollNow();
    driver.CloseMonitor();
    EXPECT_TRUE(hid.open().empty());
    const int enumerations = hid.enumerations;
    hid.send(kVendorInterface.path, {0x05, 0x3C});
    hid.unplug();
    driver.PollNow();
    EXPECT_TRUE(window.messages().empty());
    EXPECT_EQ(hid.enumerations, enumerations);
}

TEST_F(HidDriverTest, OpenReportDeviceTellsMissingFromForbidden) {
    struct Case {
        const char* name;
        std::vector<DeviceEntry> entries;
        OpenFailure injected;
        bool opened;
        OpenFailure reported;
    };
    const std::vector<Case> cases = {
        {"nothing plugged", {}, OpenFailure::None, false, OpenFailure::NotFound},
        {"no vendor interface", {kMouseInterface}, OpenFailure::None, false, OpenFailure::NotFound},
        {"node not accessible",
         {kMouseInterface, kVendorInterface},
         OpenFailure::PermissionDenied,
         false,
         OpenFailure::PermissionDenied},
        {"open failed otherwise", {kVendorInterface}, OpenFailure::Other, false, OpenFailure::Other},
        {"opened", {kMouseInterface, kVendorInterface}, OpenFailure::None, true, OpenFailure::None},
    };
    for (const Case& c : cases) {
        FakeHid fake;
        fake.plug(c.entries);
        if (c.injected != OpenFailure::None)
            fake.failOpen(kVendorInterface.path, c.injected);
        HidDriver subject(fake.backend(), testTiming());
        subject.SetIds(kVendor, kProduct);
        EXPECT_EQ(subject.OpenReportDevice(), c.opened) << c.name;
        EXPECT_EQ(subject.LastOpenFailure(), c.reported) << c.name;
    }
}

TEST_F(HidDriverTest, WritesGoToTheOpenReportInterfaceOnly) {
    std::vector<uint8_t> report(64, 0);
    report[0] = 0x04;
    report[1] = 0x0F;
    EXPECT_EQ(driver.Write(report.data(), 64), -1) << "nothing open yet";

    hid.plug({kMouseInterface, kVendorInterface});
    ASSERT_TRUE(driver.OpenReportDevice());
    EXPECT_EQ(driver.Write(report.data(), 64), 64);
    driver.CloseReportDevice();
    EXPECT_EQ(driver.Write(report.data(), 64), -1) << "closed";

    ASSERT_TRUE(driver.OpenReportDevice());
    hid.unplug();
    EXPECT_EQ(driver.Write(report.data(), 64), -1) << "device pulled while open";
    driver.CloseReportDevice();

    ASSERT_EQ(hid.written.size(), 1u);
    EXPECT_EQ(hid.written[0].first, kVendorInterface.path);
    EXPECT_EQ(hid.written[0].second, report);
    EXPECT_TRUE(hid.open().empty());
}

TEST_F(HidDriverTest, ReopeningReplacesTheStaleHandle) {
    hid.plug({kVendorInterface});
    ASSERT_TRUE(driver.OpenReportDevice());
    ASSERT_TRUE(driver.OpenReportDevice());
    EXPECT_EQ(hid.open().size(), 1u);
    driver.CloseReportDevice();
    EXPECT_TRUE(hid.open().empty());
}
