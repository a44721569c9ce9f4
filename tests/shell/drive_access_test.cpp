// Drives the user may not open, asked of the system's disk service: a
// stand-in service on a private bus opens image files in their place, or
// refuses, and the program reads and writes them only through what it was
// given.
#include <fcntl.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QProcess>
#include <mutex>

#include "platform/devices.h"
#include "platform/drive_grants.h"
#include "shell/drive_access.h"
#include "shell/rebuild_dialog.h"
#include "shell/session.h"
#include "shell/table_operation_dialog.h"
#include "support/device_opener.h"

using namespace dudorazu;
using namespace dudorazu::test;

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const char* const kDrive = "/dev/test-card";
const QString kDriveObject = QStringLiteral("/org/freedesktop/UDisks2/block_devices/test_2dcard");

// What the disk service does for a block device: opens it for the caller,
// after a while (polkit's question), or refuses.
class StandInBlockDevice : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.UDisks2.Block")

 public:
  QString image;
  bool refuse = false;
  QStringList calls;  // "object mode interaction"

 public slots:
  QDBusUnixFileDescriptor OpenDevice(const QString& mode, const QVariantMap& options) {
    const bool quiet = options.value(QStringLiteral("auth.no_user_interaction")).toBool();
    calls << message().path() + ' ' + mode + (quiet ? " quiet" : " asks");
    if (refuse) {
      sendErrorReply(QStringLiteral("org.freedesktop.UDisks2.Error.NotAuthorizedDismissed"),
                     QStringLiteral("The user dismissed the authentication"));
      return {};
    }
    setDelayedReply(true);
    QTimer::singleShot(150, this, [call = message(), bus = connection(), file = image, mode]() mutable {
      int fd = ::open(QFile::encodeName(file).constData(), (mode == "r" ? O_RDONLY : O_RDWR) | O_CLOEXEC);
      bus.send(call.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(fd))));
      ::close(fd);
    });
    return {};
  }
};

// The core's door to devices, for the drive: the system refuses the user,
// so only a descriptor the service granted opens it.
class DriveDoor {
 public:
  DriveDoor() {
    test::setDeviceOpener([this](const std::string& path, OpenMode mode) -> std::unique_ptr<SectorDevice> {
      if (path != kDrive) return platform::openSectorDevice(path, mode);
      int fd = platform::duplicateGrantedDescriptor(path, mode);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        opens_ << QString(mode == OpenMode::Read ? "r" : "rw") + (fd < 0 ? " refused" : " granted");
      }
      if (fd < 0) {
        errno = EACCES;
        return nullptr;
      }
      auto device = platform::openSectorDevice("/proc/self/fd/" + std::to_string(fd), mode);
      ::close(fd);
      return device;
    });
  }
  ~DriveDoor() {
    test::setDeviceOpener(nullptr);
    platform::dropDriveGrants();
  }
  QStringList opens() {
    std::lock_guard<std::mutex> lock(mutex_);
    return opens_;
  }

 private:
  std::mutex mutex_;
  QStringList opens_;
};

UnopenedDrive refusedCard(const QString& image) {
  UnopenedDrive d{kDrive, EACCES, {}};
  d.identity.number = 3;
  d.identity.devicePath = kDrive;
  d.identity.identified = true;
  d.identity.vendor = "Card", d.identity.product = "Reader  ";
  d.identity.sizeBytes = static_cast<uint64_t>(QFileInfo(image).size());
  return d;
}

}  // namespace

class DriveAccessTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    bus_.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
    if (!bus_.waitForStarted(10000) || !bus_.waitForReadyRead(10000)) {
      if (qgetenv("CI") == "true") QFAIL("dbus-daemon did not start: install the dbus-daemon package");
      QSKIP("dbus-daemon is not installed");
    }
    address_ = QString::fromUtf8(bus_.readLine()).trimmed();
    QVERIFY(!address_.isEmpty());
    service_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address_, QStringLiteral("stand-in")));
    QVERIFY2(service_->isConnected(), qPrintable(service_->lastError().message()));
    QVERIFY(service_->registerObject(kDriveObject, &card_, QDBusConnection::ExportAllSlots));
    shell::setDriveServiceBus(address_);
  }

  // A test that failed half-way leaves the next one the private bus.
  void cleanup() { shell::setDriveServiceBus(address_); }

  void cleanupTestCase() {
    shell::setDriveServiceBus({});
    if (service_) QDBusConnection::disconnectFromBus(QStringLiteral("stand-in"));
    bus_.terminate();
    bus_.waitForFinished(5000);
  }

  void blockObjectsAreNamedAsTheServiceNamesThem() {
    const QList<QPair<const char*, const char*>> cases = {
        {"/dev/sda", "sda"},
        {"/dev/nvme0n1", "nvme0n1"},
        {"/dev/mmcblk0", "mmcblk0"},
        {"/dev/dm-0", "dm_2d0"},
        {"/dev/disk/by-id/usb-Card_Reader:0", "usb_2dCard_Reader_3a0"},
        {"/dev/a.b c", "a_2eb_20c"},
    };
    for (const auto& [device, name] : cases)
      QCOMPARE(shell::blockObjectPath(device), QStringLiteral("/org/freedesktop/UDisks2/block_devices/") + name);
  }

  // Where the service cannot be reached the program says what it said
  // before: start it as root.
  void withoutTheServiceTheExplanationStays() {
    QTemporaryDir dir;
    const QString image = imageCopy(dir, "sample-disk.img", "card.img");
    for (bool noBus : {true, false}) {
      DriveDoor door;
      if (noBus) shell::setDriveServiceBus(QStringLiteral("unix:path=") + dir.filePath("no-bus"));
      QVERIFY(!shell::driveServiceAvailable());  // on the private bus, no service holds the name yet
      Session s;
      s.catalogue.unopenedDrives.push_back(refusedCard(image));
      shell::DiskWindow& w = *s.window.diskWindow();
      auto explained = [&w] {
        return w.driveNote()->text().contains(QStringLiteral("sudo -E dudorazu")) &&
               w.unopenedList()->topLevelItem(0)->text(3) == QStringLiteral("没有权限");
      };
      w.listUnopenedDrives(false, false);
      QVERIFY(explained());
      w.listUnopenedDrives(false, noBus);  // or the service went away after the start
      emit w.unopenedList()->itemDoubleClicked(w.unopenedList()->topLevelItem(0), 0);
      QVERIFY(QTest::qWaitFor([&] { return !s.dialogs.messages.isEmpty(); }, 10000));
      QVERIFY2(s.dialogs.messages.back().first.contains(QStringLiteral("sudo -E dudorazu")),
               qPrintable(s.dialogs.messages.back().first));
      QVERIFY(explained());
      QCOMPARE(s.catalogue.disks.size(), size_t{0});
      QCOMPARE(door.opens(), QStringList());
      shell::setDriveServiceBus(address_);
    }
    QVERIFY(card_.calls.isEmpty());
  }

  // A refusal is said and changes nothing; a grant brings the drive in with
  // its partitions, and a volume on it loads, all through the descriptor.
  // A tool that writes to it then asks for writing after its own question,
  // and writes nothing when the user declines or the system refuses.
  void aDriveTheUserCannotOpenIsAskedForOpenedAndWritten() {
    QVERIFY(service_->registerService(kService));
    QTemporaryDir dir;
    card_.image = imageCopy(dir, "sample-disk.img", "card.img");
    const QByteArray original = bytes(card_.image);
    card_.calls.clear();
    DriveDoor door;
    Session s;
    s.catalogue.unopenedDrives.push_back(refusedCard(card_.image));
    QVERIFY(shell::driveServiceAvailable());
    shell::DiskWindow& window = *s.window.diskWindow();
    window.listUnopenedDrives(false, true);
    QTreeWidget* list = window.unopenedList();
    QVERIFY(list->isVisibleTo(&window));
    QCOMPARE(list->topLevelItemCount(), 1);
    const QTreeWidgetItem* row0 = list->topLevelItem(0);
    QCOMPARE(QStringList({row0->text(0), row0->text(1), row0->text(3)}),
             QStringList({"/dev/test-card", "Card Reader", "双击请求读取权限"}));
    QVERIFY(!row0->text(2).isEmpty());
    QVERIFY(window.driveNote()->text().contains(QStringLiteral("双击下面列出的驱动器")));
    QVERIFY(!window.driveNote()->text().contains(QStringLiteral("sudo")));
    auto doubleClick = [&] { emit list->itemDoubleClicked(list->topLevelItem(0), 0); };

    card_.refuse = true;
    doubleClick();
    QVERIFY(QTest::qWaitFor([&] { return !s.dialogs.messages.isEmpty(); }, 10000));
    QCOMPARE(s.dialogs.messages.back().first, QStringLiteral("系统拒绝打开驱动器 /dev/test-card：身份验证已取消。"));
    QCOMPARE(s.catalogue.disks.size(), size_t{0});
    QCOMPARE(list->topLevelItemCount(), 1);

    // The answer takes a while; the window goes on meanwhile and does not ask twice.
    card_.refuse = false;
    s.dialogs.messages.clear();
    doubleClick();
    QCOMPARE(s.catalogue.disks.size(), size_t{0});
    QCOMPARE(list->topLevelItem(0)->text(3), QStringLiteral("正在向系统请求…"));
    doubleClick();
    QVERIFY(QTest::qWaitFor([&] { return !s.catalogue.disks.empty(); }, 10000));
    QCOMPARE(card_.calls, QStringList(2, kDriveObject + " r asks"));
    QCOMPARE(s.dialogs.messages, QList<Message>());
    QVERIFY(!list->isVisibleTo(&window));
    QVERIFY(!window.driveNote()->isVisibleTo(&window));

    DiskCatalogue direct;
    QVERIFY(openImageAsDisk(direct, card_.image.toStdString()));
    const QModelIndex drive = s.disks().indexOfDisk(s.catalogue.disks.back());
    QStringList expected;
    for (const PartitionRecord& p : direct.disks.back().partitions) expected << QString::fromStdString(p.name);
    QVERIFY(!expected.isEmpty());
    QCOMPARE(childTexts(s.disks(), drive), expected);
    QCOMPARE(s.catalogue.disks.back().driveNumber, std::string("3"));
    QVERIFY(s.open(s.disks().index(0, 0, drive)) != nullptr);
    const QStringList opens = door.opens();
    QVERIFY(!opens.isEmpty());
    QCOMPARE(opens, QStringList(opens.size(), QStringLiteral("r granted")));

    // The volume's window closed, the disk's tools act on the drive.
    s.window.commands().action(shell::kClosePartition)->trigger();
    int choice = shell::TableOperationDialog::kBackup;
    s.dialogs.answerDialog = [&](QDialog& d) {
      static_cast<shell::TableOperationDialog&>(d).option(choice)->click();
      return true;
    };
    const QString table = dir.filePath("card-table.img");
    s.dialogs.nextSaveFile = table;
    s.run(shell::kTableOperation, drive);
    QVERIFY(QTest::qWaitFor([&] { return !s.dialogs.messages.isEmpty(); }, 20000));
    QCOMPARE(s.dialogs.messages.back().first, QStringLiteral("备份成功"));
    QVERIFY(overwrite(card_.image, 0, QByteArray(512, '\0')));
    const QByteArray wiped = bytes(card_.image);

    struct Case {
      const char* what;
      bool agree, refuse;
      int writeCalls;
      QString said;
      bool written;
    };
    const Case cases[] = {
        {"declined", false, false, 0, {}, false},
        {"refused", true, true, 1, QStringLiteral("系统没有允许写入驱动器 /dev/test-card，未写入任何内容：身份验证已取消。"), false},
        {"granted", true, false, 1, QStringLiteral("恢复成功"), true},
    };
    choice = shell::TableOperationDialog::kRestore;
    s.dialogs.nextFile = table;
    for (const Case& c : cases) {
      card_.calls.clear();
      card_.refuse = c.refuse;
      s.dialogs.confirmAnswer = c.agree;
      s.dialogs.messages.clear();
      s.run(shell::kTableOperation, drive);
      QVERIFY2(!s.dialogs.messages.isEmpty() && s.dialogs.messages.front().second == QStringLiteral("分区表恢复"),
               c.what);  // the question comes first
      if (c.writeCalls)
        QVERIFY2(QTest::qWaitFor([&] { return s.dialogs.messages.size() > 1; }, 20000), c.what);
      QCOMPARE(card_.calls, QStringList(c.writeCalls, kDriveObject + " rw asks"));
      if (!c.said.isEmpty()) QCOMPARE(s.dialogs.messages.back().first, c.said);
      QCOMPARE(door.opens().contains(QStringLiteral("rw granted")), c.written);
      QCOMPARE(bytes(card_.image) == original, c.written);
      if (!c.written) QCOMPARE(bytes(card_.image), wiped);
    }

    // The rebuild asks from its own dialog, after its question, on a drive
    // held through a read grant again.
    platform::dropDriveGrants();
    platform::grantDriveDescriptor(kDrive, ::open(QFile::encodeName(card_.image).constData(), O_RDONLY | O_CLOEXEC),
                                   OpenMode::Read);
    QVERIFY(overwrite(card_.image, 446, QByteArray(64, '\0')));  // the entries lost
    card_.calls.clear();
    s.dialogs.messages.clear();
    s.dialogs.answerDialog = [&](QDialog& d) {
      if (auto* choose = qobject_cast<shell::TableOperationDialog*>(&d)) {
        choose->option(shell::TableOperationDialog::kRebuild)->click();
        return true;
      }
      static_cast<shell::RebuildDialog&>(d).list()->topLevelItem(0)->setCheckState(0, Qt::Checked);
      d.findChild<QPushButton*>()->click();
      return QTest::qWaitFor([&] { return d.result() == QDialog::Accepted; }, 20000);
    };
    s.run(shell::kTableOperation, drive);
    QCOMPARE(card_.calls, QStringList{kDriveObject + " rw asks"});
    QCOMPARE(s.dialogs.messages.size(), 1);  // the question alone
    DiskCatalogue rebuilt;
    QVERIFY(openImageAsDisk(rebuilt, card_.image.toStdString()));
    QCOMPARE(rebuilt.disks.back().partitions.size(), size_t{1});

    QVERIFY(!door.opens().contains(QStringLiteral("r refused")) && !door.opens().contains(QStringLiteral("rw refused")));
    QVERIFY(service_->unregisterService(kService));
  }

 private:
  QProcess bus_;
  QString address_;
  std::unique_ptr<QDBusConnection> service_;
  StandInBlockDevice card_;
};

QTEST_MAIN(DriveAccessTest)
#include "drive_access_test.moc"
