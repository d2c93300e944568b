#include "broadcast/OnAirForm.h"

#include "platform/PaintWidget.h"
#include "platform/WinColor.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>

namespace {

const QStringList kFormats{QStringLiteral("MP3"), QStringLiteral("Ogg Vorbis"),
                           QStringLiteral("Ogg Opus")};
const QList<int> kBitrates{64, 96, 128, 160, 192, 256, 320};

template <typename Field>
Field* labelled(const char* caption, QWidget* parent, int left, int top, int width) {
    auto* label = new QLabel(QString::fromLatin1(caption), parent);
    label->setGeometry(left, top + 3, 80, 17);
    auto* field = new Field(parent);
    field->setGeometry(left + 82, top, width, 23);
    return field;
}

} // namespace

OnAirWidgets buildOnAirForm(QWidget* parent, int left, int top) {
    OnAirWidgets w;
    w.box = new QGroupBox(QStringLiteral("Icecast"), parent);
    w.box->setGeometry(left, top, 900, 150);
    paintWidget(w.box, wincolor::kPanel, wincolor::kText);
    w.sendToIcecast = new QCheckBox(QStringLiteral("Send to Icecast"), w.box);
    w.sendToIcecast->setGeometry(12, 22, 200, 20);
    w.server = labelled<QLineEdit>("Server:", w.box, 12, 48, 200);
    w.server->setText(QStringLiteral("127.0.0.1"));
    w.port = labelled<QSpinBox>("Port:", w.box, 12, 78, 90);
    w.port->setRange(1, 65535);
    w.port->setValue(8000);
    w.mount = labelled<QLineEdit>("Mount:", w.box, 12, 108, 200);
    w.mount->setText(QStringLiteral("/live"));
    w.user = labelled<QLineEdit>("User:", w.box, 320, 48, 160);
    w.user->setText(QStringLiteral("source"));
    w.password = labelled<QLineEdit>("Password:", w.box, 320, 78, 160);
    w.password->setEchoMode(QLineEdit::Password);
    w.format = labelled<QComboBox>("Format:", w.box, 600, 48, 120);
    w.format->addItems(kFormats);
    w.bitrate = labelled<QComboBox>("kbit/s:", w.box, 600, 78, 120);
    for (int kbps : kBitrates)
        w.bitrate->addItem(QString::number(kbps), kbps);
    w.bitrate->setCurrentIndex(int(kBitrates.indexOf(128)));
    w.ducking = labelled<QSpinBox>("Mic ducks:", w.box, 600, 108, 120);
    w.ducking->setRange(0, 40);
    w.ducking->setSuffix(QStringLiteral(" dB"));
    w.ducking->setValue(12);
    w.recordShow = new QCheckBox(QStringLiteral("Record the show"), w.box);
    w.recordShow->setGeometry(320, 110, 200, 20);
    return w;
}

OnAirSettings readOnAirForm(const OnAirWidgets& w, const std::string& recordingPath) {
    OnAirSettings s;
    s.toIcecast = w.sendToIcecast->isChecked();
    s.icecast.host = w.server->text().trimmed().toStdString();
    s.icecast.port = w.port->value();
    QString mount = w.mount->text().trimmed();
    if (!mount.startsWith('/'))
        mount.prepend('/');
    s.icecast.mount = mount.toStdString();
    s.icecast.user = w.user->text().toStdString();
    s.icecast.password = w.password->text().toStdString();
    s.icecast.format = std::array{StreamFormat::Mp3, StreamFormat::Vorbis,
                                  StreamFormat::Opus}[std::size_t(w.format->currentIndex())];
    s.icecast.kbps = w.bitrate->currentData().toInt();
    s.ducking.duckDb = w.ducking->value();
    if (w.recordShow->isChecked())
        s.recordingPath = recordingPath;
    return s;
}

QString onAirSettingsFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Kolvadeck/broadcast.conf");
}

void loadOnAirForm(OnAirWidgets& w, const QString& file) {
    if (!QFileInfo::exists(file))
        return;
    const QSettings s(file, QSettings::IniFormat);
    w.sendToIcecast->setChecked(s.value("icecast/send", false).toBool());
    w.server->setText(s.value("icecast/server", w.server->text()).toString());
    w.port->setValue(s.value("icecast/port", w.port->value()).toInt());
    w.mount->setText(s.value("icecast/mount", w.mount->text()).toString());
    w.user->setText(s.value("icecast/user", w.user->text()).toString());
    w.password->setText(s.value("icecast/password").toString());
    if (const auto i = kFormats.indexOf(s.value("icecast/format").toString()); i >= 0)
        w.format->setCurrentIndex(int(i));
    if (const auto i = kBitrates.indexOf(s.value("icecast/kbps").toInt()); i >= 0)
        w.bitrate->setCurrentIndex(int(i));
    w.ducking->setValue(s.value("mix/duckingDb", w.ducking->value()).toInt());
    w.recordShow->setChecked(s.value("show/record", false).toBool());
}

void saveOnAirForm(const OnAirWidgets& w, const QString& file) {
    const QString folder = QFileInfo(file).absolutePath();
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Made the user's alone before the password is written into it.
    QFile touch(file);
    if (touch.open(QIODevice::Append))
        touch.close();
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    QSettings s(file, QSettings::IniFormat);
    s.setValue("icecast/send", w.sendToIcecast->isChecked());
    s.setValue("icecast/server", w.server->text());
    s.setValue("icecast/port", w.port->value());
    s.setValue("icecast/mount", w.mount->text());
    s.setValue("icecast/user", w.user->text());
    s.setValue("icecast/password", w.password->text());
    s.setValue("icecast/format", w.format->currentText());
    s.setValue("icecast/kbps", w.bitrate->currentData().toInt());
    s.setValue("mix/duckingDb", w.ducking->value());
    s.setValue("show/record", w.recordShow->isChecked());
    s.sync();
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
}
