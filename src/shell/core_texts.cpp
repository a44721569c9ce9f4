// The one place where texts made by the core (which knows no Qt) meet the
// window's language. The core composes its texts from fixed words and
// numbers, sizes, paths and names; each entry below is one such text with
// %1, %2… where the core puts something in. A text is looked up line by
// line: whole, then against the entries with places, whose filled-in parts
// are looked up in turn (a state inside a note, a kind inside a volume's
// description). What matches nothing is shown as the core made it.
#include <QCoreApplication>
#include <QRegularExpression>
#include <vector>

#include "core/common/text.h"
#include "shell/language.h"
#include "widgets/qt_text.h"

namespace dudorazu::widgets {
namespace {

// The more particular entries come before the general ones that would
// also match them.
const char* const kCoreTexts[] = {
    // Captions of the messages.
    QT_TRANSLATE_NOOP("core", "error"),
    QT_TRANSLATE_NOOP("core", "waiting"),
    QT_TRANSLATE_NOOP("core", "sucess"),
    // Folders at the top of a loaded tree.
    QT_TRANSLATE_NOOP("core", "根目录"),
    QT_TRANSLATE_NOOP("core", "扩展目录"),
    // Kinds, states and how sure a file is.
    QT_TRANSLATE_NOOP("core", "主"),
    QT_TRANSLATE_NOOP("core", "逻辑"),
    QT_TRANSLATE_NOOP("core", "已删除文件夹"),
    QT_TRANSLATE_NOOP("core", "已删除文件"),
    QT_TRANSLATE_NOOP("core", "正常文件夹"),
    QT_TRANSLATE_NOOP("core", "正常文件"),
    QT_TRANSLATE_NOOP("core", "可完整恢复"),
    QT_TRANSLATE_NOOP("core", "雕刻恢复"),
    QT_TRANSLATE_NOOP("core", "推测的簇链"),
    QT_TRANSLATE_NOOP("core", "扇区损坏"),
    QT_TRANSLATE_NOOP("core", "已被覆盖"),
    QT_TRANSLATE_NOOP("core", "无法访问"),
    QT_TRANSLATE_NOOP("core", "%1，另见目录树"),
    QT_TRANSLATE_NOOP("core", "%1（%2/%3 字节）"),
    // Properties of a disk or a partition.
    QT_TRANSLATE_NOOP("core", "驱动类型"),
    QT_TRANSLATE_NOOP("core", "物理驱动-硬盘"),
    QT_TRANSLATE_NOOP("core", "系统文件"),
    QT_TRANSLATE_NOOP("core", "卷-硬盘"),
    QT_TRANSLATE_NOOP("core", "分区"),
    QT_TRANSLATE_NOOP("core", "名称"),
    QT_TRANSLATE_NOOP("core", "系统对象"),
    QT_TRANSLATE_NOOP("core", "大小"),
    QT_TRANSLATE_NOOP("core", "扇区大小"),
    QT_TRANSLATE_NOOP("core", "分区大小"),
    QT_TRANSLATE_NOOP("core", "起始地址"),
    // Long operations: titles, progress, refusals.
    QT_TRANSLATE_NOOP("core", "展开分区文件"),
    QT_TRANSLATE_NOOP("core", "扫描丢失文件"),
    QT_TRANSLATE_NOOP("core", "正在保存文件"),
    QT_TRANSLATE_NOOP("core", "检查"),
    QT_TRANSLATE_NOOP("core", "扫描分区"),
    QT_TRANSLATE_NOOP("core", "全盘扫描"),
    QT_TRANSLATE_NOOP("core", "分区扫描"),
    QT_TRANSLATE_NOOP("core", "镜像"),
    QT_TRANSLATE_NOOP("core", "等待当前操作完成！"),
    QT_TRANSLATE_NOOP("core", "等待当前操作完成，请稍后！"),
    QT_TRANSLATE_NOOP("core", "等待此操作完成！"),
    QT_TRANSLATE_NOOP("core", "正在计算，请稍后..."),
    QT_TRANSLATE_NOOP("core", "%1 目录被找到"),
    QT_TRANSLATE_NOOP("core", "%1 BYTE被保存"),
    // Statistics and status lines.
    QT_TRANSLATE_NOOP("core", "文件统计"),
    QT_TRANSLATE_NOOP("core", "文件统计： %1在%2个文件夹中包含 %3个文件"),
    QT_TRANSLATE_NOOP("core", "总大小 %1 在 %2 个文件夹中共有 %3 个文件"),
    QT_TRANSLATE_NOOP("core", "扫描完毕：找到 %1 个文件夹，恢复出 %2 个文件"),
    QT_TRANSLATE_NOOP("core", "本次保存 %1 Byte"),
    // Saving.
    QT_TRANSLATE_NOOP("core", "等待当前保存操作完成"),
    QT_TRANSLATE_NOOP("core", "等待当前操作完成"),
    QT_TRANSLATE_NOOP("core", "请选择文件"),
    QT_TRANSLATE_NOOP("core", "选择保存路径"),
    QT_TRANSLATE_NOOP("core", "没有信息"),
    QT_TRANSLATE_NOOP("core", "无法得知目标盘的剩余空间，请重新选择保存路径!"),
    QT_TRANSLATE_NOOP("core", "目标盘剩余空间不足，请重新选择盘!"),
    QT_TRANSLATE_NOOP("core", "即将保存 %1,磁盘空间不够！"),
    QT_TRANSLATE_NOOP("core", "目标文件夹位于正在恢复的分区上，请选择其他磁盘"),
    QT_TRANSLATE_NOOP("core", "已保存 %1 个文件，%2 字节。"),
    QT_TRANSLATE_NOOP("core", "其中 %1 个文件的簇已被其他文件占用，保存的内容可能含有其他文件的数据。"),
    QT_TRANSLATE_NOOP("core", "其中 %1 个文件的后续簇是按空闲簇推测的，内容可能不属于该文件。"),
    QT_TRANSLATE_NOOP("core", "其中 %1 个文件有簇位于无法读取的扇区或卷外，保存的内容不完整。"),
    QT_TRANSLATE_NOOP("core", "保存已停止，未保存的文件不在其中。"),
    QT_TRANSLATE_NOOP("core", "以下 %1 个文件未完整保存或需核对："),
    // Drives the program could not open.
    QT_TRANSLATE_NOOP("core", "不是磁盘"),
    QT_TRANSLATE_NOOP("core", "没有权限"),
    QT_TRANSLATE_NOOP("core", "设备不存在或未就绪"),
    QT_TRANSLATE_NOOP("core", "没有插入介质"),
    QT_TRANSLATE_NOOP("core", "设备正被占用"),
    QT_TRANSLATE_NOOP("core", "读取出错"),
    QT_TRANSLATE_NOOP("core", "无法打开（错误号 %1）"),
    QT_TRANSLATE_NOOP(
        "core",
        "%1 个驱动器尚未打开：%2。双击下面列出的驱动器，即可向系统申请读取权限（系统可能要求输入密码）。镜像文件不需要此权限，可随时用“打开镜像文件”打开。"),
    QT_TRANSLATE_NOOP(
        "core",
        "%1 个驱动器无法打开，未列出：%2。读取驱动器需要管理员权限：请以 root 身份启动本程序（例如 sudo -E dudorazu 或 pkexec dudorazu）。镜像文件不需要此权限，可随时用“打开镜像文件”打开。"),
    QT_TRANSLATE_NOOP("core", "%1 个驱动器无法打开，未列出：%2。"),
    // The disk tools.
    QT_TRANSLATE_NOOP("core", "不能更改当前系统所在的硬盘分区信息！"),
    QT_TRANSLATE_NOOP("core", "选择错误，请从新选择"),
    QT_TRANSLATE_NOOP("core", "备份成功"),
    QT_TRANSLATE_NOOP("core", "恢复成功"),
    QT_TRANSLATE_NOOP("core", "备份信息与磁盘不对应"),
    QT_TRANSLATE_NOOP("core", "打开失败"),
    QT_TRANSLATE_NOOP("core", "磁盘有坏道，请重新选择目标文件"),
    QT_TRANSLATE_NOOP("core", "镜像完毕"),
    QT_TRANSLATE_NOOP("core", "读取磁盘失败，未写入任何数据"),
    QT_TRANSLATE_NOOP("core", "写入磁盘失败"),
    QT_TRANSLATE_NOOP("core", "写入备份文件失败"),
    QT_TRANSLATE_NOOP("core", "分区过大，无法写入MBR分区表"),
    QT_TRANSLATE_NOOP("core", "分区数目过多，备份信息超过512字节，无法备份"),
    QT_TRANSLATE_NOOP("core", "磁盘名称含有字符^，无法备份"),
    QT_TRANSLATE_NOOP("core", "备份文件格式错误，未写入任何数据"),
    QT_TRANSLATE_NOOP("core", "备份文件中偏移 %1 处的扇区超出磁盘末尾，未写入任何数据"),
    QT_TRANSLATE_NOOP("core", "备份文件中偏移 %1 处的扇区不是备份中分区表所在的扇区，未写入任何数据"),
    QT_TRANSLATE_NOOP("core", "%1 与 %2 重叠，分区表项不能重叠，请只勾选其中一个；未写入任何数据"),
    QT_TRANSLATE_NOOP("core", "%1 起始于磁盘末尾之外，无法写入分区表；未写入任何数据"),
    QT_TRANSLATE_NOOP("core", "%1 卷%2（起始扇区 %3）"),
    QT_TRANSLATE_NOOP("core", "目标空间不足"),
    QT_TRANSLATE_NOOP("core", "源与目标重叠"),
    QT_TRANSLATE_NOOP("core", "源与目标重叠: %1"),
    QT_TRANSLATE_NOOP("core", "目标磁盘上有已挂载的卷（或为系统盘），不能写入"),
    QT_TRANSLATE_NOOP("core", "%1 是磁盘设备，不是文件；要写入磁盘请选择目标磁盘"),
    QT_TRANSLATE_NOOP("core", "源分区超出磁盘末尾：分区表记载%1个扇区，磁盘上只有%2个；只复制了这些扇区，镜像不完整"),
    QT_TRANSLATE_NOOP("core", "源分区超出磁盘末尾：分区表记载%1个扇区，磁盘上只有%2个，没有可复制的扇区"),
    QT_TRANSLATE_NOOP("core", "源分区超出磁盘末尾：分区表记载%1个扇区，磁盘上只有%2个"),
    QT_TRANSLATE_NOOP("core", "起始扇区%1超出源的末尾（源共%2个扇区）"),
    QT_TRANSLATE_NOOP("core", "请选择映射文件路径"),
    QT_TRANSLATE_NOOP("core", "继续镜像需要映射文件"),
    QT_TRANSLATE_NOOP("core", "映射文件无法使用：%1"),
    QT_TRANSLATE_NOOP("core", "要继续的镜像文件 %1 不存在"),
    QT_TRANSLATE_NOOP("core", "镜像文件比映射文件记载的已复制部分短，二者不是同一次镜像，未读写任何数据"),
    QT_TRANSLATE_NOOP("core", "第%1个坏扇区"),
    QT_TRANSLATE_NOOP("core", "有%1个扇区无法读取，已用0x20填充（见坏扇区列表）"),
    QT_TRANSLATE_NOOP("core", "有%1个扇区未逐个读取，已用0x20填充"),
    QT_TRANSLATE_NOOP("core", "镜像已停止：已写入%1个扇区，其余未复制，映射文件 %2 记录了未复制的部分"),
    QT_TRANSLATE_NOOP("core", "镜像已停止：已写入%1个扇区，其余未复制"),
    QT_TRANSLATE_NOOP("core", "请选择源磁盘信息"),
    QT_TRANSLATE_NOOP("core", "请填写源磁盘镜像大小"),
    QT_TRANSLATE_NOOP("core", "请填写源磁盘镜像起始扇区"),
    QT_TRANSLATE_NOOP("core", "请选择目标文件路径"),
    QT_TRANSLATE_NOOP("core", "请选择目标磁盘信息"),
    QT_TRANSLATE_NOOP("core", "请填写目标磁盘镜像起始扇区"),
    QT_TRANSLATE_NOOP("core", "找到 exFAT 大写转换表：磁盘第 %1 扇区（分区内第 %2 扇区）"),
    QT_TRANSLATE_NOOP("core", "找到 exFAT 大写转换表：磁盘第 %1 扇区"),
    QT_TRANSLATE_NOOP("core", "数值填写错误，请改写！"),
    QT_TRANSLATE_NOOP("core", "数值填写过大，请改写！"),
    // Questions before a tool writes.
    QT_TRANSLATE_NOOP("core", "是否继续？"),
    QT_TRANSLATE_NOOP("core", "此操作将改写 %1 第0扇区的分区表，写入："),
    QT_TRANSLATE_NOOP("core", "  %1 起始扇区 %2，大小 %3（超出磁盘末尾，表项截至磁盘末尾，共 %4 扇区）"),
    QT_TRANSLATE_NOOP("core", "  %1 起始扇区 %2，大小 %3"),
    QT_TRANSLATE_NOOP("core", "此操作将改写 %1 的 %2 个扇区：%3"),
    QT_TRANSLATE_NOOP("core", "该操作可能破坏目标磁盘：将改写 %1 从第 %2 扇区起的 %3 个扇区，并替换映射文件 %4"),
    QT_TRANSLATE_NOOP("core", "该操作可能破坏目标磁盘：将改写 %1 从第 %2 扇区起的 %3 个扇区"),
    QT_TRANSLATE_NOOP("core", "此操作将替换文件 %1，并替换映射文件 %2"),
    QT_TRANSLATE_NOOP("core", "此操作将替换文件 %1"),
    QT_TRANSLATE_NOOP("core", "此操作将替换映射文件 %1"),
    // Lists and notes joined to what they belong to.
    QT_TRANSLATE_NOOP("core", "%1；%2"),
    QT_TRANSLATE_NOOP("core", "%1，%2"),
    QT_TRANSLATE_NOOP("core", "%1 %2 个"),
    QT_TRANSLATE_NOOP("core", "%1（%2）"),
};

// A text with places: the fixed pieces around them and the number of each
// place in order (a piece may be empty at either end).
struct Pattern {
  QStringList pieces;
  QList<int> places;
  const char* source;
};

const std::vector<Pattern>& patterns() {
  static const std::vector<Pattern> all = [] {
    static const QRegularExpression place(QStringLiteral("%[1-9]"));
    std::vector<Pattern> out;
    for (const char* source : kCoreTexts) {
      const QString text = QString::fromUtf8(source);
      Pattern p{{}, {}, source};
      qsizetype from = 0;
      for (QRegularExpressionMatch m = place.match(text); m.hasMatch(); m = place.match(text, from)) {
        p.pieces << text.mid(from, m.capturedStart() - from);
        p.places << text[m.capturedStart() + 1].digitValue();
        from = m.capturedEnd();
      }
      p.pieces << text.mid(from);
      if (!p.places.isEmpty()) out.push_back(std::move(p));
    }
    return out;
  }();
  return all;
}

// What `line` puts into the places of `p`, each at least one character
// and each piece taken at its first occurrence; empty when it does not fit.
// One pass over the line per piece, whatever the line holds.
QStringList filledIn(const Pattern& p, const QString& line) {
  const QString& first = p.pieces.front();
  const QString& last = p.pieces.back();
  const qsizetype end = line.size() - last.size();
  if (end - first.size() < p.places.size() || !line.startsWith(first) || !line.endsWith(last)) return {};
  QStringList parts;
  qsizetype at = first.size();
  for (qsizetype i = 1; i + 1 < p.pieces.size(); ++i) {
    const qsizetype next = line.indexOf(p.pieces[i], at + 1);
    if (next < 0 || next + p.pieces[i].size() >= end) return {};
    parts << line.mid(at, next - at);
    at = next + p.pieces[i].size();
  }
  parts << line.mid(at, end - at);
  return parts;
}

QString translated(const QString& line, int depth) {
  if (line.isEmpty()) return line;
  const QByteArray source = line.toUtf8();
  if (QString whole = QCoreApplication::translate("core", source.constData()); whole != line) return whole;
  // Depth bounds the look-ups of filled-in parts; a few levels cover every
  // text the core composes.
  if (depth > 3) return line;
  for (const Pattern& p : patterns()) {
    const QStringList parts = filledIn(p, line);
    if (parts.isEmpty()) continue;
    QStringList byPlace(10);
    for (qsizetype i = 0; i < parts.size(); ++i) byPlace[p.places[i]] = translated(parts[i], depth + 1);
    // Filled in by hand rather than by arg(), so that a "%2" inside a name
    // stays as it is.
    const QString form = QCoreApplication::translate("core", p.source);
    QString out;
    for (qsizetype i = 0; i < form.size(); ++i) {
      const int n = i + 1 < form.size() && form[i] == QLatin1Char('%') ? form[i + 1].digitValue() : -1;
      if (n >= 1 && n <= 9) {
        out += byPlace[n];
        ++i;
      } else {
        out += form[i];
      }
    }
    return out;
  }
  return line;
}

}  // namespace

QString coreText(const std::string& text) {
  // Lines are made printable one by one: a message's own line breaks stay.
  QStringList lines;
  std::string_view rest = text;
  for (;;) {
    const size_t end = rest.find('\n');
    lines << QString::fromStdString(printableText(rest.substr(0, end)));
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 1);
  }
  if (shell::currentLanguage() != shell::Language::Chinese)
    for (QString& line : lines) line = translated(line, 0);
  return lines.join(QLatin1Char('\n'));
}

}  // namespace dudorazu::widgets
