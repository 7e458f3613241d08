#pragma once
// Pop-up menus built from a menu layout of the resource folder, in our own small XML format:
//
//     <menu>
//       <item name="configuration" text="configuration_text"/>
//       <item name="more" text="more_text">          <!-- an item with items is a submenu -->
//         <item name="ms_1_forward" text="forward_text" visible="false"/>
//       </item>
//       <separator/>
//       <item name="exit" text="exit_text" checkable="true" enabled="false" icon="skins/exit.png"/>
//     </menu>
//
// `text` is a language key. Clicking an item posts MSG_MENU_COMMAND (1027) to the window of the
// menu's paint manager; wParam points to a MenuCmd record whose first field is the item's name. The
// record belongs to the receiver, which releases it with CPaintManagerUI::DeletePtr after copying
// what it needs (the library frees records that were never released at Term).
//
// A menu object is owned by whoever created it; a closed menu stays alive (and can be asked about
// its items) until its owner deletes it.

#include "platform/messages.h"

#include <QPoint>
#include <QRect>
#include <QString>

#include <map>
#include <memory>
#include <vector>

class QMenu;
class QAction;

namespace quillon {

class CPaintManagerUI;

struct MenuCmd {
    QString szName;
    QString szUserData;
    QString szText;
    bool bChecked = false;
};

// Where the menu lies relative to its point: Left = the point is the menu's left edge (it opens to
// the right), Right = its right edge; Top = the point is its top edge (it opens downwards),
// Bottom = its bottom edge. 6 (Left | Top) puts the menu's top-left corner at the point.
enum MenuAlignment : DWORD {
    eMenuAlignment_Left = 1 << 1,
    eMenuAlignment_Top = 1 << 2,
    eMenuAlignment_Right = 1 << 3,
    eMenuAlignment_Bottom = 1 << 4,
};

// The item list of a menu.
class CMenuUI {
public:
    explicit CMenuUI(QMenu* menu) : m_menu(menu) {}
    // The number of visible items (separators not counted).
    int GetCount() const;
    // Names of the visible items, in order.
    std::vector<QString> GetItemNames() const;

private:
    QMenu* m_menu;
};

// Opaque in the menu API; submenus are expressed in the layout.
class CMenuElementUI;

class CMenuWnd {
public:
    CMenuWnd();
    ~CMenuWnd();
    CMenuWnd(const CMenuWnd&) = delete;
    CMenuWnd& operator=(const CMenuWnd&) = delete;

    // Builds the menu from `xml` and opens it at `point` (screen coordinates). `checks` gives the
    // check state of checkable items by name. False when the layout cannot be read.
    bool Init(CMenuElementUI* owner, const QString& xml, QPoint point, CPaintManagerUI* mainPaintManager,
              std::map<QString, bool>* checks = nullptr,
              DWORD alignment = eMenuAlignment_Left | eMenuAlignment_Top);
    // Fits the menu's size to its visible items.
    void ResizeMenu();
    CMenuUI* GetMenuUI() { return m_menuUI.get(); }
    QRect GetWindowRect() const;
    void MoveWindow(int x, int y);
    void Close();
    bool IsOpen() const;

    // For the test harness: the Qt menu, the item of a name, and the menus alive now.
    QMenu* GetQMenu() const { return m_menu.get(); }
    QAction* FindItem(const QString& name) const;
    static const std::vector<CMenuWnd*>& LiveMenus();

private:
    void Build(QMenu* into, const void* element);
    void OnItem(QAction* action);

    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<CMenuUI> m_menuUI;
    CPaintManagerUI* m_manager = nullptr;
    std::map<QString, bool>* m_checks = nullptr;
};

}  // namespace quillon
