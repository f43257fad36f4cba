#pragma once
// The application's main menu (Solvane, Edit, Display, Window, Help) as the menu bar of our own windows
// (Preferences, welcome, mini player); where the desktop exports menus globally, Qt hands it over. The
// actions are made once and shared by every window's bar, so a key equivalent works in each of them.
// GUI thread only.

#include <QObject>
#include <QPointer>
#include <functional>

class Controller;
class MenuActions;
class QAction;
class QMenu;
class QMenuBar;
class QWidget;

class MainMenu : public QObject {
    Q_OBJECT
public:
    MainMenu(Controller& controller, MenuActions& actions, QObject* parent = nullptr);

    // Gives `window` its own bar with the shared actions (a QMainWindow's menu bar, else its layout's,
    // else a bar kept across the window's top edge).
    QMenuBar* install(QWidget* window);
    // For a small window with no room for a bar (the mini player): the shared actions' keys work in it
    // and a right click opens the same menus.
    void attach(QWidget* window);

    // Every action by its title, for tests and for the bars.
    QAction* action(const QString& title) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Adds the five menus, through `addMenu(title)` giving the menu to fill.
    void fill(const std::function<QMenu*(const QString&)>& addMenu);
    QAction* make(const QString& title, const QString& keys, std::function<void()> action);

    Controller& controller_;
    QList<QAction*> actions_;
};
