// The wall window's own controls as assistive technology and the mouse meet them.
#include "CloseButton.h"
#include "ModeBadge.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QMouseEvent>
#include <gtest/gtest.h>

TEST(WallControls, TheCloseButtonIsAButtonForTheLeftButtonAndTheBadgeIsText) {
    CloseButton button;
    button.resize(64, 64);
    int clicks = 0;
    button.onClick = [&clicks] { ++clicks; };
    QAccessibleInterface* access = QAccessible::queryAccessibleInterface(&button);
    ASSERT_TRUE(access);
    EXPECT_EQ(access->role(), QAccessible::Button);
    EXPECT_EQ(access->text(QAccessible::Name), "Close the wall");
    ASSERT_TRUE(access->actionInterface());
    access->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks, 1);
    for (Qt::MouseButton which : {Qt::RightButton, Qt::MiddleButton, Qt::LeftButton}) {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(32, 32), QPointF(32, 32), which, which,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(&button, &press);
    }
    EXPECT_EQ(clicks, 2);

    ModeBadge badge("lock.fill", "Kiosk mode, locked");
    QAccessibleInterface* text = QAccessible::queryAccessibleInterface(&badge);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->role(), QAccessible::StaticText);
    EXPECT_EQ(text->text(QAccessible::Name), "Kiosk mode, locked");
}
