#pragma once
// The Qt application object of a test executable, and waiting for the event loop.

#include <functional>

class QApplication;

namespace quillon::test {

// Creates the QApplication on first use (offscreen unless QT_QPA_PLATFORM says otherwise) and
// returns it; call it at the start of every test that needs Qt.
QApplication& TestApplication();

// Runs the event loop until `done` holds. False when it did not within `realTimeoutMs` of real
// time, which only a broken test reaches; a passing test never waits that long.
bool PumpUntil(const std::function<bool()>& done, int realTimeoutMs = 10000);

// Handles everything already queued for the event loop.
void PumpPending();

}  // namespace quillon::test
