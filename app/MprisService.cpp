#include "app/MprisService.h"

#include "app/MprisPlayer.h"
#include "app/MprisPlaylistFiles.h"
#include "app/MprisRoot.h"
#include "platform/Shell.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kServiceName = QStringLiteral("org.mpris.MediaPlayer2.kolvadeck");

// Only a bus the session names: connecting otherwise makes D-Bus try to
// launch one for the display, which is no business of a player.
bool sessionBusConfigured() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}
} // namespace

MprisService::MprisService(QDBusConnection bus)
    : bus_(std::move(bus)) {}

std::unique_ptr<MprisService> MprisService::start(DeckEngine& decks, Playlist& playlist,
                                                  Hooks hooks) {
    if (!sessionBusConfigured())
        return nullptr;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return nullptr;
    std::unique_ptr<MprisService> service(new MprisService(bus));
    new MprisPlaylistFiles(service.get(), playlist, hooks.raise);
    new MprisRoot(service.get(), std::move(hooks.raise), std::move(hooks.quit));
    new MprisPlayer(service.get(), bus, decks, playlist, &MprisService::deckArtwork);
    if (!bus.registerObject(kObjectPath, service.get(), QDBusConnection::ExportAdaptors))
        return nullptr;
    // A second running copy takes an instance name, as MPRIS asks.
    QString name = kServiceName;
    if (!bus.registerService(name)) {
        name = kServiceName + QStringLiteral(".instance%1").arg(QCoreApplication::applicationPid());
        if (!bus.registerService(name)) {
            bus.unregisterObject(kObjectPath);
            return nullptr;
        }
    }
    service->serviceName_ = name;
    return service;
}

MprisService::~MprisService() {
    bus_.unregisterService(serviceName_);
    bus_.unregisterObject(kObjectPath);
}

MprisService::HandOver MprisService::handToRunningPlayer(const QStringList& paths, QString* error) {
    if (!sessionBusConfigured())
        return HandOver::NoneRunning;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return HandOver::NoneRunning;
    QDBusMessage call = QDBusMessage::createMethodCall(
        kServiceName, kObjectPath, QString::fromLatin1(MprisPlaylistFiles::kInterface),
        QStringLiteral("AddFiles"));
    call << paths;
    call.setAutoStartService(false);
    // No window exists yet, so nothing waits on this answer but the start.
    const QDBusMessage reply = bus.call(call, QDBus::Block, 10000);
    if (reply.type() == QDBusMessage::ReplyMessage)
        return HandOver::Taken;
    // Nobody holds the name (autostart is off, so the bus says so at once),
    // or a program there that cannot take files.
    static const QStringList kNoneRunning{
        QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner"),
        QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownObject"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface"),
        QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod")};
    if (kNoneRunning.contains(reply.errorName()))
        return HandOver::NoneRunning;
    *error = reply.errorMessage();
    return HandOver::Failed;
}

QString MprisService::deckArtwork(Deck deck) {
    const QString resource =
        deck == Deck::A ? QStringLiteral(":/deck_a.jpg") : QStringLiteral(":/deck_b.jpg");
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                           QStringLiteral("/Kolvadeck");
    QString file = folder + resource.mid(1);
    if (QFileInfo::exists(file))
        return file;
    // About 19 KB from the program's resources; a failure leaves no artwork.
    shell::createPrivateFolder(QFile::encodeName(folder).toStdString());
    QFile::remove(file + QStringLiteral(".tmp"));
    if (!QFile::copy(resource, file + QStringLiteral(".tmp")) ||
        !QFile::rename(file + QStringLiteral(".tmp"), file))
        return {};
    return file;
}
