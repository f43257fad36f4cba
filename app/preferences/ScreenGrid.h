#pragma once
// The per-screen part of the Preferences window: one row per connected screen with its name, a pull-down
// of the products it shows (ticked in play order, "All products (cycle)", "Off: leave this screen
// alone") and a shuffle button. It holds the working copy of every screen's list and says when it
// changed; the window stores it. GUI thread only.

#include <QStringList>
#include <QWidget>
#include <functional>
#include <vector>

class QGridLayout;
class QLabel;
class QMenu;
class QToolButton;

class ScreenGrid : public QWidget {
    Q_OBJECT
public:
    explicit ScreenGrid(QWidget* parent = nullptr);

    // One row per name, each starting from its list (the form of Settings::choice).
    void rebuild(const QStringList& screenNames, std::vector<QStringList> lists);
    const std::vector<QStringList>& lists() const { return lists_; }

    void toggleProduct(int screen, const QString& id);
    void clearProducts(int screen);
    void disableScreen(int screen);
    void randomize(int screen);

    // The shuffle of more than two products; tests give a fixed one.
    void setShuffle(std::function<void(QStringList&)> shuffle) { shuffle_ = std::move(shuffle); }

    QToolButton* popup(int screen) const { return popups_.at(size_t(screen)); }
    QToolButton* shuffleButton(int screen) const { return shuffles_.at(size_t(screen)); }
    int rows() const { return int(lists_.size()); }

signals:
    // A screen's list changed through the grid (not by rebuild).
    void changed();

private:
    void rebuildMenu(int screen);
    void set(int screen, QStringList list);

    QGridLayout* grid_;
    std::vector<QStringList> lists_;
    std::vector<QLabel*> names_;
    std::vector<QToolButton*> popups_;
    std::vector<QToolButton*> shuffles_;
    std::function<void(QStringList&)> shuffle_;
};
