// The reduce-motion preference where KDE and GNOME keep it, read again at every use.

#include <gio/gio.h>

#include "MotionPreference.h"
#include "TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(MotionPreference, KdeReducesMotionAtAFactorOfZeroAndTheUserFileWins) {
    QTemporaryDir user, system;
    KdeMotionPreference kde({user.path(), system.path()});
    EXPECT_FALSE(kde.reduceMotion()) << "no kdeglobals anywhere";
    writeFile(QDir(system.path()).filePath("kdeglobals"), "[KDE]\nAnimationDurationFactor=0\n");
    EXPECT_TRUE(kde.reduceMotion());
    struct Case {
        const char* text;
        bool reduce;
    };
    for (const Case& c :
         {Case{"[General]\nAnimationDurationFactor=0\n[KDE]\nAnimationDurationFactor=0.5\n", false},
          Case{"[KDE]\nSingleClick=false\nAnimationDurationFactor[$i]=0\n", true},
          Case{"[KDE]\nAnimationDurationFactor = 0.0\n", true},
          Case{"[KDE]\nAnimationDurationFactor=fast\n", true}}) { // unreadable: the system's 0
        writeFile(QDir(user.path()).filePath("kdeglobals"), c.text);
        EXPECT_EQ(kde.reduceMotion(), c.reduce) << c.text;
    }
}

TEST(MotionPreference, GnomeFollowsEnableAnimationsWhileRunning) {
    // A settings backend in memory, so the test changes nothing of the user's.
    qputenv("GSETTINGS_BACKEND", "memory");
    auto gnome = GnomeMotionPreference::open();
    if (!gnome) GTEST_SKIP() << "org.gnome.desktop.interface is not installed (gsettings-desktop-schemas)";
    EXPECT_FALSE(gnome->reduceMotion());
    GSettings* settings = g_settings_new("org.gnome.desktop.interface");
    g_settings_set_boolean(settings, "enable-animations", FALSE);
    EXPECT_TRUE(gnome->reduceMotion());
    g_settings_set_boolean(settings, "enable-animations", TRUE);
    EXPECT_FALSE(gnome->reduceMotion());
    g_object_unref(settings);
}
