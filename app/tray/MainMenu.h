#pragma once
// The application's main menu (Solvane, Edit, Display, Window, Help) as the menu bar of our own windows
// (Preferences, welcome, mini player); where the desktop exports menus globally, Qt hands it over. The
// actions are made once and shared by every window's bar, so a key equivalent works in each of them.
// GUI thread only.

#include <QObject>
#include <QPointer>
#include <functional>

class App;
class MenuActions;
class QAction;
class QMenuBar;
class QWidget;

class MainMenu : public QObject {
    Q_OBJECT
public:
    MainMenu(App& app, MenuActions& actions);

    // Gives `window` its own bar with the shared actions (a QMainWindow's menu bar, else its layout's).
    QMenuBar* install(QWidget* window);

    // Every action by its title, for tests and for the bars.
    QAction* action(const QString& title) const;

private:
    QAction* make(const QString& title, const QString& keys, std::function<void()> action);

    App& app_;
    QList<QAction*> actions_;
};
