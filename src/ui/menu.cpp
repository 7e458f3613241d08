#include "ui/menu.h"

#include "platform/message_window.h"

#include "ui/paint_manager.h"
#include "ui/resource_manager.h"

#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QMenu>

#include <algorithm>

namespace quillon {

namespace {
bool HoldsCheckedItem(const QMenu* menu) {
    for (const QAction* action : menu->actions()) {
        if (action->isChecked() || (action->menu() != nullptr && HoldsCheckedItem(action->menu())))
            return true;
    }
    return false;
}

std::vector<CMenuWnd*>& OpenMenus() {
    static std::vector<CMenuWnd*> menus;
    return menus;
}
}  // namespace

int CMenuUI::GetCount() const {
    return int(GetItemNames().size());
}

std::vector<QString> CMenuUI::GetItemNames() const {
    std::vector<QString> names;
    if (!m_menu)
        return names;
    for (QAction* action : m_menu->actions())
        if (!action->isSeparator() && action->isVisible())
            names.push_back(action->objectName());
    return names;
}

CMenuWnd::CMenuWnd() {
    OpenMenus().push_back(this);
}

CMenuWnd::~CMenuWnd() {
    auto& menus = OpenMenus();
    menus.erase(std::remove(menus.begin(), menus.end(), this), menus.end());
}

const std::vector<CMenuWnd*>& CMenuWnd::LiveMenus() {
    return OpenMenus();
}

bool CMenuWnd::Init(CMenuElementUI*, const QString& xml, QPoint point, CPaintManagerUI* mainPaintManager,
                    std::map<QString, bool>* checks, DWORD alignment) {
    m_manager = mainPaintManager;
    m_checks = checks;
    const QString path = QFileInfo(xml).isAbsolute() ? xml : CPaintManagerUI::GetResourcePath() + xml;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QDomDocument document;
    if (!document.setContent(&file) || document.documentElement().tagName() != QLatin1String("menu"))
        return false;

    m_menu = std::make_unique<QMenu>();
    m_menu->setObjectName(QFileInfo(xml).completeBaseName());
    const QDomElement root = document.documentElement();
    Build(m_menu.get(), &root);
    m_menuUI = std::make_unique<CMenuUI>(m_menu.get());

    const QSize size = m_menu->sizeHint();
    QPoint topLeft = point;
    if (alignment & eMenuAlignment_Right)
        topLeft.rx() -= size.width();
    if (alignment & eMenuAlignment_Bottom)
        topLeft.ry() -= size.height();
    m_menu->popup(topLeft);
    return true;
}

void CMenuWnd::Build(QMenu* into, const void* element) {
    const auto& parent = *static_cast<const QDomElement*>(element);
    for (QDomElement child = parent.firstChildElement(); !child.isNull();
         child = child.nextSiblingElement()) {
        if (child.tagName() == QLatin1String("separator")) {
            into->addSeparator();
            continue;
        }
        if (child.tagName() != QLatin1String("item"))
            continue;
        const QString name = child.attribute(QStringLiteral("name"));
        const QString text =
            CResourceManager::GetInstance()->GetText(child.attribute(QStringLiteral("text"), name));
        QAction* action = nullptr;
        if (!child.firstChildElement(QStringLiteral("item")).isNull()) {
            QMenu* submenu = into->addMenu(text);
            submenu->setObjectName(name);
            Build(submenu, &child);
            action = submenu->menuAction();
        } else {
            action = into->addAction(text);
            QObject::connect(action, &QAction::triggered, into, [this, action] { OnItem(action); });
        }
        action->setObjectName(name);
        action->setData(child.attribute(QStringLiteral("userdata")));
        if (child.hasAttribute(QStringLiteral("icon")))
            action->setIcon(QIcon(LoadResourceImage(child.attribute(QStringLiteral("icon")))));
        if (child.attribute(QStringLiteral("checkable")) == QLatin1String("true")) {
            action->setCheckable(true);
            if (m_checks) {
                auto it = m_checks->find(name);
                action->setChecked(it != m_checks->end() && it->second);
            }
        }
        if (action->menu() != nullptr && HoldsCheckedItem(action->menu())) {
            // The submenu that holds the checked item stands out, so the current choice can be
            // found from the top level.
            QFont font = action->font();
            font.setBold(true);
            action->setFont(font);
        }
        action->setVisible(child.attribute(QStringLiteral("visible")) != QLatin1String("false"));
        action->setEnabled(child.attribute(QStringLiteral("enabled")) != QLatin1String("false"));
    }
}

void CMenuWnd::OnItem(QAction* action) {
    if (action->isCheckable() && m_checks)
        (*m_checks)[action->objectName()] = action->isChecked();
    if (!m_manager)
        return;
    auto* cmd = CPaintManagerUI::NewPtr<MenuCmd>();
    cmd->szName = action->objectName();
    cmd->szUserData = action->data().toString();
    cmd->szText = action->text();
    cmd->bChecked = action->isChecked();
    if (!PostMessage(m_manager->GetPaintWindow(), MSG_MENU_COMMAND, WPARAM(cmd), 0))
        CPaintManagerUI::DeletePtr(cmd);
}

void CMenuWnd::ResizeMenu() {
    if (m_menu)
        m_menu->adjustSize();
}

QRect CMenuWnd::GetWindowRect() const {
    return m_menu ? m_menu->geometry() : QRect();
}

void CMenuWnd::MoveWindow(int x, int y) {
    if (m_menu)
        m_menu->move(x, y);
}

void CMenuWnd::Close() {
    if (m_menu)
        m_menu->hide();
}

bool CMenuWnd::IsOpen() const {
    return m_menu && m_menu->isVisible();
}

QAction* CMenuWnd::FindItem(const QString& name) const {
    return m_menu ? m_menu->findChild<QAction*>(name) : nullptr;
}

}  // namespace quillon
