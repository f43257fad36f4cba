#pragma once
// The desktop picture of sway and other wlroots compositors that speak its IPC: the command
// `output NAME bg FILE fit #000000` over the socket named by SWAYSOCK. The current pictures are read from
// the configuration the compositor loaded (its "output ... bg ..." lines); a picture set at run time
// cannot be read back, which is why the manager records only once. The port is synchronous: each call
// gives the compositor at most SwayIpc::longestWait in all, however many requests it makes.

#include "DesktopPicture.h"

#include <QByteArray>
#include <QJsonArray>

class SwayDesktopPicture : public DesktopPicture {
public:
    explicit SwayDesktopPicture(QString socketPath);

    QString name() const override { return QStringLiteral("sway"); }
    QStringList current(const std::vector<DesktopScreen>& screens) override;
    std::vector<std::optional<QString>> set(const std::vector<DesktopScreen>& screens,
                                            const std::vector<PicturePlacement>& placements) override;

    // The IPC message types we use.
    static constexpr quint32 runCommand = 0;
    static constexpr quint32 getOutputs = 3;
    static constexpr quint32 getConfig = 9;

    // The command for one output, every argument quoted.
    static QString command(const QString& output, const QString& file, const QString& mode,
                           const QString& colour);
    // The picture and mode a configuration text gives an output ("*" lines apply to all): nothing when
    // it names none.
    static std::optional<std::pair<QString, QString>> configured(const QString& config,
                                                                 const QString& output);

    // The name sway knows a screen by, from its get_outputs answer (a JSON array): the screen's own name
    // when sway has an output of that name, else the active output with the screen's geometry (under
    // XWayland Qt's names are XWAYLAND0, 1, ...), else nothing. Sway accepts a command for an output it
    // does not have and reports success, so an unknown name must not reach it.
    static std::optional<QString> outputName(const QByteArray& outputs, const DesktopScreen& screen);

private:
    QString socketPath_;
};
