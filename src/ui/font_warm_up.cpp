#include "ui/font_warm_up.h"

#include <QFontDatabase>
#include <QStringList>

namespace quillon {

FontWarmUp::FontWarmUp() : m_thread([] { static_cast<void>(QFontDatabase::families()); }) {}

FontWarmUp::~FontWarmUp() {
    if (m_thread.joinable())
        m_thread.join();
}

}  // namespace quillon
