#include "shell/drive_access.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QPointer>
#include <QWidget>

#include "core/device/disk_catalogue.h"
#include "core/device/unopened_drives.h"
#include "platform/devices.h"
#include "platform/drive_grants.h"
#include "shell/disk_window.h"
#include "shell/user_dialogs.h"
#include "widgets/qt_text.h"

namespace dudorazu::shell {
namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kBlockInterface = QStringLiteral("org.freedesktop.UDisks2.Block");
const QString kCustomBus = QStringLiteral("dudorazu-drive-service");
// The service waits for polkit, and polkit for the user typing a password.
constexpr int kAnswerTimeoutMs = 10 * 60 * 1000;

QString& customBusAddress() {
  static QString address;
  return address;
}

QDBusConnection serviceBus() {
  if (customBusAddress().isEmpty()) return QDBusConnection::systemBus();
  return QDBusConnection::connectToBus(customBusAddress(), kCustomBus);
}

bool noService(const QDBusError& error) {
  switch (error.type()) {
    case QDBusError::ServiceUnknown:
    case QDBusError::NoServer:
    case QDBusError::Disconnected:
    case QDBusError::NoNetwork: return true;
    default: return error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner");
  }
}

// The service's error texts are English; the program says why in its own words.
QString refusalReason(const QDBusError& error) {
  const QString name = error.name();
  if (name.endsWith(QLatin1String(".NotAuthorizedDismissed")))
    return QCoreApplication::translate("DriveAccess", "身份验证已取消。");
  if (name.contains(QLatin1String("NotAuthorized")) || error.type() == QDBusError::AccessDenied)
    return QCoreApplication::translate("DriveAccess", "没有获得授权。");
  if (error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout)
    return QCoreApplication::translate("DriveAccess", "系统没有及时回答。");
  return QCoreApplication::translate("DriveAccess", "系统服务无法打开它。");
}

}  // namespace

QString blockObjectPath(const std::string& devicePath) {
  const size_t slash = devicePath.find_last_of('/');
  const std::string name = slash == std::string::npos ? devicePath : devicePath.substr(slash + 1);
  QString path = QStringLiteral("/org/freedesktop/UDisks2/block_devices/");
  for (unsigned char c : name) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')
      path += QChar(c);
    else
      path += QStringLiteral("_%1").arg(c, 2, 16, QChar('0'));
  }
  return path;
}

void setDriveServiceBus(const QString& address) {
  if (!customBusAddress().isEmpty()) QDBusConnection::disconnectFromBus(kCustomBus);
  customBusAddress() = address;
}

bool driveServiceAvailable() {
  QDBusConnection bus = serviceBus();
  if (!bus.isConnected() || !bus.interface()) return false;
  if (bus.interface()->isServiceRegistered(kService)) return true;
  return bus.interface()->activatableServiceNames().value().contains(kService);
}

void requestDriveAccess(const std::string& devicePath, OpenMode mode, QObject* context,
                        std::function<void(DriveAccess, const QString&)> done) {
  QDBusConnection bus = serviceBus();
  // Without descriptor passing the answer could not carry the drive.
  if (!bus.isConnected() || !(bus.connectionCapabilities() & QDBusConnection::UnixFileDescriptorPassing)) {
    done(DriveAccess::NoService, QCoreApplication::translate("DriveAccess", "找不到系统的磁盘服务。"));
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(kService, blockObjectPath(devicePath), kBlockInterface,
                                                     QStringLiteral("OpenDevice"));
  // The user is there to answer polkit's question: interaction allowed.
  call << QString::fromLatin1(mode == OpenMode::Read ? "r" : "rw")
       << QVariantMap{{QStringLiteral("auth.no_user_interaction"), false}};
  call.setInteractiveAuthorizationAllowed(true);
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kAnswerTimeoutMs), context);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                   [watcher, path = devicePath, mode, done = std::move(done)] {
                     watcher->deleteLater();
                     QDBusPendingReply<QDBusUnixFileDescriptor> reply = *watcher;
                     if (reply.isError()) {
                       const bool missing = noService(reply.error());
                       done(missing ? DriveAccess::NoService : DriveAccess::Refused,
                            missing ? QCoreApplication::translate("DriveAccess", "找不到系统的磁盘服务。")
                                    : refusalReason(reply.error()));
                       return;
                     }
                     // The reply closes its own descriptor when it goes.
                     if (!reply.value().isValid() ||
                         !platform::grantDriveDescriptorCopy(path, reply.value().fileDescriptor(), mode)) {
                       done(DriveAccess::Refused, QCoreApplication::translate("DriveAccess", "系统服务没有交回设备。"));
                       return;
                     }
                     done(DriveAccess::Granted, {});
                   });
}

void openUnopenedDrive(DiskWindow& window, DiskCatalogue& catalogue, UserDialogs& dialogs,
                       const std::string& devicePath) {
  const QString path = QString::fromStdString(devicePath);
  const QString caption = QCoreApplication::translate("DriveAccess", "打开驱动器");
  const UnopenedDrive* unopened = nullptr;
  for (const UnopenedDrive& d : catalogue.unopenedDrives)
    if (d.devicePath == devicePath) unopened = &d;
  if (!unopened) return;
  // A drive that failed for another reason than rights is not the
  // service's to open; the note's reason is all there is to say.
  if (!unopenedForWantOfRights({*unopened})) {
    dialogs.message(&window, widgets::coreText(unopenedDrivesDesktopNote({*unopened}, false)), caption);
    return;
  }
  const UnopenedDrive kept = *unopened;
  if (!window.markDriveRequested(path, true)) return;
  requestDriveAccess(devicePath, OpenMode::Read, &window,
                     [&window, &catalogue, &dialogs, kept, path, caption](DriveAccess access, const QString& detail) {
                       window.markDriveRequested(path, false);
                       if (access == DriveAccess::NoService) {
                         window.forgetDriveService();
                         dialogs.message(&window, widgets::coreText(unopenedDrivesDesktopNote({kept}, false)), caption);
                         return;
                       }
                       if (access == DriveAccess::Refused) {
                         dialogs.message(
                             &window,
                             QCoreApplication::translate("DriveAccess", "系统拒绝打开驱动器 %1：%2").arg(path, detail),
                             caption);
                         return;
                       }
                       auto enumerator = platform::makeDriveEnumerator();
                       DiskRecord* disk = catalogueUnopenedDrive(catalogue, kept.devicePath,
                                                                 enumerator->listMountedVolumes());
                       if (!disk) {
                         dialogs.message(
                             &window,
                             QCoreApplication::translate("DriveAccess", "已获得驱动器 %1 的读取权限，但仍无法读取它。")
                                 .arg(path),
                             caption);
                         return;
                       }
                       window.fillDiskRows(*disk);
                       window.listUnopenedDrives();
                     });
}

void withWriteAccess(const std::string& devicePath, UserDialogs& dialogs, QWidget* parent,
                     std::function<void()> write) {
  bool writable = false;
  if (!platform::hasDriveGrant(devicePath, &writable) || writable) {
    write();
    return;
  }
  requestDriveAccess(devicePath, OpenMode::ReadWrite, parent,
                     [&dialogs, parent, devicePath, write = std::move(write)](DriveAccess access, const QString& detail) {
                       if (access == DriveAccess::Granted) return write();
                       dialogs.message(
                           parent,
                           QCoreApplication::translate("DriveAccess", "系统没有允许写入驱动器 %1，未写入任何内容：%2")
                               .arg(QString::fromStdString(devicePath), detail),
                           QCoreApplication::translate("DriveAccess", "写入驱动器"));
                     });
}

}  // namespace dudorazu::shell
