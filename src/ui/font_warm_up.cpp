#include "ui/font_warm_up.h"

#include <QFontDatabase>
#include <QStringList>

#include <dlfcn.h>

namespace quillon {

namespace {

// fontconfig's FcInit, from the library Qt's GUI module brings in (no fontconfig of our own to
// build against); null where Qt does without fontconfig.
using FcInitFunction = int (*)();

void ReadFontConfiguration() {
    if (auto init = reinterpret_cast<FcInitFunction>(dlsym(RTLD_DEFAULT, "FcInit")))
        init();
}

}  // namespace

FontWarmUp::FontWarmUp()
    : m_thread([this] {
          ReadFontConfiguration();
          std::unique_lock lock(m_mutex);
          m_changed.wait(lock, [this] { return m_next != Next::Wait; });
          if (m_next != Next::Fill)
              return;
          lock.unlock();
          static_cast<void>(QFontDatabase::families());
      }) {}

FontWarmUp::~FontWarmUp() {
    Join();
}

void FontWarmUp::Join() {
    {
        const std::lock_guard lock(m_mutex);
        if (m_next == Next::Wait)
            m_next = Next::Stop;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void FontWarmUp::FillFontDatabase() {
    {
        const std::lock_guard lock(m_mutex);
        if (m_next == Next::Wait)
            m_next = Next::Fill;
    }
    m_changed.notify_all();
}

}  // namespace quillon
