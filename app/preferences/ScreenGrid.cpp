#include "ScreenGrid.h"

#include "Catalog.h"
#include "PreferencesRules.h"
#include "Settings.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QToolButton>
#include <algorithm>
#include <random>

namespace {
constexpr int popupWidth = 168;
constexpr int nameWidth = 150;
const char* const staysOpen = "staysOpen";

// Ticking several products is one choice: a product item toggles without closing the menu; "All
// products" and "Off" end the choice and close it as usual.
class ChooserMenu : public QMenu {
public:
    using QMenu::QMenu;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        QAction* action = actionAt(event->position().toPoint());
        if (event->button() == Qt::LeftButton && keepsOpen(action)) {
            action->trigger();
            return;
        }
        QMenu::mouseReleaseEvent(event);
    }
    void keyPressEvent(QKeyEvent* event) override {
        const int key = event->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) &&
            keepsOpen(activeAction())) {
            activeAction()->trigger();
            return;
        }
        QMenu::keyPressEvent(event);
    }

private:
    static bool keepsOpen(QAction* action) {
        return action && action->isEnabled() && action->property(staysOpen).toBool();
    }
};
} // namespace

ScreenGrid::ScreenGrid(QWidget* parent) : QWidget(parent), grid_(new QGridLayout(this)) {
    grid_->setContentsMargins(0, 0, 0, 0);
    grid_->setHorizontalSpacing(8);
    grid_->setVerticalSpacing(6);
    grid_->setColumnStretch(0, 1);
    shuffle_ = [](QStringList& list) {
        static std::mt19937 generator{std::random_device{}()};
        std::shuffle(list.begin(), list.end(), generator);
    };
}

void ScreenGrid::rebuild(const QStringList& screenNames, std::vector<QStringList> lists) {
    for (QLabel* label : names_)
        delete label;
    for (QToolButton* button : popups_)
        delete button;
    for (QToolButton* button : shuffles_)
        delete button;
    names_.clear();
    popups_.clear();
    shuffles_.clear();
    lists_ = std::move(lists);
    lists_.resize(size_t(screenNames.size()));

    for (int screen = 0; screen < screenNames.size(); ++screen) {
        const QString& name = screenNames[screen];
        auto* label = new QLabel(this);
        label->setText(label->fontMetrics().elidedText(name, Qt::ElideMiddle, nameWidth));
        label->setToolTip(name);
        names_.push_back(label);

        auto* popup = new QToolButton(this);
        popup->setPopupMode(QToolButton::InstantPopup);
        popup->setToolButtonStyle(Qt::ToolButtonTextOnly);
        popup->setFixedWidth(popupWidth);
        popup->setFocusPolicy(Qt::StrongFocus);
        popup->setAccessibleName("Products on " + name);
        popup->setMenu(new ChooserMenu(popup));
        label->setBuddy(popup);
        popups_.push_back(popup);

        auto* shuffle = new QToolButton(this);
        shuffle->setIcon(QIcon::fromTheme(QStringLiteral("media-playlist-shuffle")));
        if (shuffle->icon().isNull()) shuffle->setText(QStringLiteral("Shuffle"));
        shuffle->setFocusPolicy(Qt::StrongFocus);
        shuffle->setAccessibleName(QStringLiteral("Randomize"));
        shuffle->setToolTip(
            QStringLiteral("Shuffle the running order for this screen. The ticked products do not change."));
        connect(shuffle, &QToolButton::clicked, this, [this, screen] { randomize(screen); });
        shuffles_.push_back(shuffle);

        grid_->addWidget(label, screen, 0);
        grid_->addWidget(popup, screen, 1);
        grid_->addWidget(shuffle, screen, 2);
        rebuildMenu(screen);
    }
}

void ScreenGrid::rebuildMenu(int screen) {
    const QStringList& list = lists_[size_t(screen)];
    QToolButton* popup = popups_[size_t(screen)];
    const QString title = PreferencesRules::summaryTitle(list);
    popup->setText(popup->fontMetrics().elidedText(title, Qt::ElideRight, popupWidth - 28));
    popup->setToolTip(title);
    popup->setAccessibleDescription(title);

    // The items are made once and then only re-ticked, so a menu that stays open keeps its items.
    QMenu* menu = popup->menu();
    if (menu->actions().isEmpty()) {
        for (const CatalogProduct& product : Catalog::all()) {
            QAction* action = menu->addAction(product.label);
            action->setData(product.id);
            action->setCheckable(true);
            action->setProperty(staysOpen, true);
            connect(action, &QAction::triggered, this,
                    [this, screen, id = product.id] { toggleProduct(screen, id); });
        }
        menu->addSeparator();
        QAction* all = menu->addAction(QStringLiteral("All products (cycle)"));
        all->setCheckable(true);
        connect(all, &QAction::triggered, this, [this, screen] { clearProducts(screen); });
        QAction* off = menu->addAction(QStringLiteral("Off: leave this screen alone"));
        off->setCheckable(true);
        connect(off, &QAction::triggered, this, [this, screen] { disableScreen(screen); });
    }
    const bool direct = Settings::imageryHost().isEmpty();
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) continue;
        const QString id = action->data().toString();
        if (!id.isEmpty()) {
            action->setChecked(list.contains(id));
            action->setText(PreferencesRules::productTitle(id, Catalog::label(id).value_or(id), direct));
        } else if (action->text() == QLatin1String("All products (cycle)"))
            action->setChecked(list.isEmpty());
        else
            action->setChecked(list == QStringList{QStringLiteral("off")});
    }
}

void ScreenGrid::set(int screen, QStringList list) {
    if (screen < 0 || screen >= rows()) return;
    lists_[size_t(screen)] = std::move(list);
    rebuildMenu(screen);
    emit changed();
}

void ScreenGrid::toggleProduct(int screen, const QString& id) {
    if (screen < 0 || screen >= rows()) return;
    set(screen, PreferencesRules::toggledProduct(lists_[size_t(screen)], id));
}

void ScreenGrid::clearProducts(int screen) {
    set(screen, {});
}

void ScreenGrid::disableScreen(int screen) {
    set(screen, {QStringLiteral("off")});
}

void ScreenGrid::randomize(int screen) {
    if (screen < 0 || screen >= rows()) return;
    set(screen, PreferencesRules::randomized(lists_[size_t(screen)], shuffle_));
}
