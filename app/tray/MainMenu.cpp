#include "MainMenu.h"

#include "Controller.h"
#include "MenuActions.h"

#include <QApplication>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace {

// The standard editing actions go to the widget with the keyboard focus, when it has them (line edits,
// text views); elsewhere they do nothing.
void toFocus(const char* slot) {
    if (QWidget* focus = QApplication::focusWidget()) QMetaObject::invokeMethod(focus, slot);
}

void toActiveWindow(void (QWidget::*what)()) {
    if (QWidget* window = QApplication::activeWindow()) (window->*what)();
}

} // namespace

MainMenu::MainMenu(Controller& controller, MenuActions& actions, QObject* parent)
    : QObject(parent), controller_(controller) {
    make(QStringLiteral("About Solvane"), {}, [&actions] { actions.showAbout(); });
    make(QStringLiteral("Settings…"), QStringLiteral("Ctrl+,"), [this] { controller_.showPreferences(); });
    make(QStringLiteral("Quit Solvane"), QStringLiteral("Ctrl+Q"), [] { QCoreApplication::quit(); });
    make(QStringLiteral("Undo"), QStringLiteral("Ctrl+Z"), [] { toFocus("undo"); });
    make(QStringLiteral("Redo"), QStringLiteral("Ctrl+Shift+Z"), [] { toFocus("redo"); });
    make(QStringLiteral("Cut"), QStringLiteral("Ctrl+X"), [] { toFocus("cut"); });
    make(QStringLiteral("Copy"), QStringLiteral("Ctrl+C"), [] { toFocus("copy"); });
    make(QStringLiteral("Paste"), QStringLiteral("Ctrl+V"), [] { toFocus("paste"); });
    make(QStringLiteral("Select All"), QStringLiteral("Ctrl+A"), [] { toFocus("selectAll"); });
    make(QStringLiteral("Start Now"), QStringLiteral("Ctrl+Return"), [&actions] { actions.startFromMenu(); });
    make(QStringLiteral("Update Desktop Now"), QStringLiteral("Ctrl+U"),
         [&actions] { actions.updateDesktopFromMenu(); });
    make(QStringLiteral("Mini Player"), QStringLiteral("Ctrl+Shift+M"),
         [this] { controller_.toggleMiniPlayer(); });
    make(QStringLiteral("Minimize"), QStringLiteral("Ctrl+M"),
         [] { toActiveWindow(&QWidget::showMinimized); });
    make(QStringLiteral("Close"), QStringLiteral("Ctrl+W"), [] {
        if (QWidget* window = QApplication::activeWindow()) window->close();
    });
    make(QStringLiteral("Solvane Help"), QStringLiteral("Ctrl+?"), [&actions] { actions.showHelp(); });
    make(QStringLiteral("Show Welcome"), {}, [this] { controller_.showWelcome(); });
    make(QStringLiteral("Copy Diagnostics"), {}, [&actions] { actions.copyDiagnostics(); });
}

QAction* MainMenu::make(const QString& title, const QString& keys, std::function<void()> action) {
    auto* item = new QAction(title, this);
    if (!keys.isEmpty()) item->setShortcut(QKeySequence(keys));
    // Quit and Settings keep their own names on every desktop, not the platform's renamed roles.
    item->setMenuRole(QAction::NoRole);
    connect(item, &QAction::triggered, this, [action = std::move(action)] { action(); });
    actions_ << item;
    return item;
}

QAction* MainMenu::action(const QString& title) const {
    for (QAction* item : actions_)
        if (item->text() == title) return item;
    return nullptr;
}

void MainMenu::fill(const std::function<QMenu*(const QString&)>& addMenu) {
    auto add = [this, &addMenu](const QString& menuTitle, const QStringList& items) {
        QMenu* menu = addMenu(menuTitle);
        for (const QString& title : items) {
            if (title.isEmpty())
                menu->addSeparator();
            else
                menu->addAction(action(title));
        }
    };
    add(QStringLiteral("Solvane"), {"About Solvane", "", "Settings…", "", "Quit Solvane"});
    add(QStringLiteral("Edit"), {"Undo", "Redo", "", "Cut", "Copy", "Paste", "Select All"});
    add(QStringLiteral("Display"), {"Start Now", "Update Desktop Now", "Mini Player"});
    add(QStringLiteral("Window"), {"Minimize", "Close"});
    add(QStringLiteral("Help"), {"Solvane Help", "Show Welcome", "Copy Diagnostics"});
}

QMenuBar* MainMenu::install(QWidget* window) {
    if (!window) return nullptr;
    auto* bar = new QMenuBar(window);
    fill([bar](const QString& title) { return bar->addMenu(title); });
    if (auto* main = qobject_cast<QMainWindow*>(window)) {
        main->setMenuBar(bar);
    } else if (QLayout* layout = window->layout()) {
        layout->setMenuBar(bar);
    } else {
        // A window laid out by hand (the welcome window): the bar lies across its top edge.
        bar->setGeometry(0, 0, window->width(), bar->sizeHint().height());
        bar->raise();
        window->installEventFilter(this);
    }
    return bar;
}

void MainMenu::attach(QWidget* window) {
    if (!window) return;
    window->addActions(actions_);
    auto* menu = new QMenu(window);
    fill([menu](const QString& title) { return menu->addMenu(title); });
    window->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(window, &QWidget::customContextMenuRequested, menu,
            [window, menu](const QPoint& at) { menu->popup(window->mapToGlobal(at)); });
}

bool MainMenu::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize)
        if (auto* window = qobject_cast<QWidget*>(watched))
            if (auto* bar = window->findChild<QMenuBar*>(QString(), Qt::FindDirectChildrenOnly)) {
                bar->resize(window->width(), bar->height());
                bar->raise();
            }
    return QObject::eventFilter(watched, event);
}
