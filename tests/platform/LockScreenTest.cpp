// The lock-screen adapters against what the desktops read: GNOME's keys through GSettings (a backend in
// memory, the real schema) and Plasma's kscreenlockerrc. Each shows a still, then puts back exactly what
// was there, from a person's own settings and from the desktop's defaults alike.

#include <gio/gio.h>

#include "GSettingsHandle.h"
#include "GSettingsLockScreen.h"
#include "KdeLockScreen.h"
#include "TestSupport.h"

#include <QDir>
#include <QTemporaryDir>
#include <QUrl>
#include <functional>
#include <gtest/gtest.h>

namespace {
const char* const gnomeKeys[] = {"picture-uri", "picture-options", "primary-color"};

// GNOME's keys as the person set them ("-" for a key at its default).
QString gnomeState() {
    GSettings* settings = g_settings_new(GSettingsLockScreen::schema);
    QStringList state;
    for (const char* key : gnomeKeys) {
        GVariant* value = g_settings_get_user_value(settings, key);
        gchar* text = value ? g_variant_print(value, FALSE) : nullptr;
        state << QString::fromUtf8(text ? text : "-");
        g_free(text);
        if (value) g_variant_unref(value);
    }
    g_object_unref(settings);
    return state.join(' ');
}
} // namespace

TEST(LockScreen, ShowsTheStillAndPutsBackExactlyWhatWasThere) {
    qputenv("GSETTINGS_BACKEND", "memory"); // nothing of the user's changes
    if (!GSettingsHandle::installed(GSettingsLockScreen::schema))
        GTEST_SKIP() << "gsettings-desktop-schemas is not installed";
    QTemporaryDir dir;
    const QString still = dir.filePath("my pictures/sun 171.png");
    const QString url = QUrl::fromLocalFile(still).toString(QUrl::FullyEncoded);
    const QString kde = dir.filePath("config/kscreenlockerrc");
    const QByteArray ownKde = "[Daemon]\nTimeout=10\n\n[Greeter]\nTheme=org.kde.breeze.desktop\n"
                              "WallpaperPlugin=org.kde.potd\n\n"
                              "[Greeter][Wallpaper][org.kde.image][General]\n"
                              "# picked in System Settings\nImage=file:///home/me/lake.jpg\n"
                              "PreviewImage=file:///home/me/lake.jpg\n";
    const auto kdeState = [&] { return QString::fromUtf8(QFile::exists(kde) ? readFile(kde) : "absent"); };

    struct Case {
        const char* what;
        std::shared_ptr<LockScreenPicture> lock;
        std::function<void()> start; // the person's own lock screen
        std::function<QString()> state;
        QStringList recorded;
        QStringList shown; // in the state while the Sun shows
    };
    const Case cases[] = {
        {"GNOME, defaults",
         std::make_shared<GSettingsLockScreen>(),
         [] {},
         gnomeState,
         {},
         {"'" + url + "' 'scaled' '#000000'"}},
        {"GNOME, the person's own",
         std::make_shared<GSettingsLockScreen>(),
         [] {
             GSettings* settings = g_settings_new(GSettingsLockScreen::schema);
             g_settings_set_string(settings, "picture-uri", "file:///home/me/lake.jpg");
             g_settings_set_string(settings, "picture-options", "centered");
             g_settings_set_string(settings, "primary-color", "#112233");
             g_settings_sync();
             g_object_unref(settings);
         },
         gnomeState,
         {"picture-uri='file:///home/me/lake.jpg'", "picture-options='centered'", "primary-color='#112233'"},
         {"'" + url + "' 'scaled' '#000000'"}},
        {"Plasma, no file yet",
         std::make_shared<KdeLockScreen>(kde),
         [] {},
         kdeState,
         {},
         {"[Greeter]\nWallpaperPlugin=org.kde.image\n\n[Greeter][Wallpaper][org.kde.image][General]\nImage=" +
          url + "\nFillMode=1\nColor=0,0,0\n"}},
        {"Plasma, the person's own",
         std::make_shared<KdeLockScreen>(kde),
         [&] { writeFile(kde, ownKde); },
         kdeState,
         {"[Greeter]WallpaperPlugin=org.kde.potd",
          "[Greeter][Wallpaper][org.kde.image][General]Image=file:///home/me/lake.jpg"},
         {"WallpaperPlugin=org.kde.image\n",
          "# picked in System Settings\nImage=" + url +
              "\nPreviewImage=file:///home/me/lake.jpg\nFillMode=1\nColor=0,0,0\n",
          "[Daemon]\nTimeout=10\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.start();
        const QString before = c.state();
        const std::optional<QStringList> recorded = c.lock->current();
        ASSERT_TRUE(recorded);
        EXPECT_EQ(*recorded, c.recorded);
        EXPECT_FALSE(c.lock->show(still).has_value());
        for (const QString& part : c.shown)
            EXPECT_TRUE(c.state().contains(part)) << c.state().toStdString();
        EXPECT_FALSE(c.lock->putBack(*recorded).has_value());
        EXPECT_EQ(c.state(), before);
    }
}
