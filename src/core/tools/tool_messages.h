#pragma once
// Texts the partition tools show. The first group is what users of the
// tools have always seen; the second tells of failures that used to pass
// in silence (a write that failed, a file that cannot be restored).
namespace dudorazu {

inline constexpr const char* kMsgSystemDisk = "不能更改当前系统所在的硬盘分区信息！";
inline constexpr const char* kMsgWrongChoice = "选择错误，请从新选择";
inline constexpr const char* kMsgBackupDone = "备份成功";
inline constexpr const char* kMsgRestoreDone = "恢复成功";
inline constexpr const char* kMsgBackupMismatch = "备份信息与磁盘不对应";
inline constexpr const char* kMsgOpenFileError = "open file error!";
inline constexpr const char* kMsgOpenFailed = "打开失败";
inline constexpr const char* kMsgBadTarget = "磁盘有坏道，请重新选择目标文件";
inline constexpr const char* kMsgImagingDone = "镜像完毕";

inline constexpr const char* kMsgDiskReadFailed = "读取磁盘失败，未写入任何数据";
inline constexpr const char* kMsgDiskWriteFailed = "写入磁盘失败";
inline constexpr const char* kMsgFileWriteFailed = "写入备份文件失败";
inline constexpr const char* kMsgTooLargeForMbr = "分区过大，无法写入MBR分区表";
inline constexpr const char* kMsgTooManyForBackup = "分区数目过多，备份信息超过512字节，无法备份";
inline constexpr const char* kMsgCaretInName = "磁盘名称含有字符^，无法备份";
inline constexpr const char* kMsgBadBackupFile = "备份文件格式错误，未写入任何数据";
// Format texts: the byte offset of the refused sector image.
inline constexpr const char* kMsgSectorPastDiskEnd = "备份文件中偏移 %llu 处的扇区超出磁盘末尾，未写入任何数据";
inline constexpr const char* kMsgSectorOutsideTables =
    "备份文件中偏移 %llu 处的扇区不是备份中分区表所在的扇区，未写入任何数据";
// Format texts: the volumes as the rebuild names them.
inline constexpr const char* kMsgVolumesOverlap = "%s 与 %s 重叠，分区表项不能重叠，请只勾选其中一个；未写入任何数据";
inline constexpr const char* kMsgVolumePastDiskEnd = "%s 起始于磁盘末尾之外，无法写入分区表；未写入任何数据";
inline constexpr const char* kMsgTargetTooSmall = "目标空间不足";
inline constexpr const char* kMsgSourceIsTarget = "源与目标重叠";
inline constexpr const char* kMsgTargetInUse = "目标磁盘上有已挂载的卷（或为系统盘），不能写入";
inline constexpr const char* kMsgFileTargetIsDevice = "%s 是磁盘设备，不是文件；要写入磁盘请选择目标磁盘";
inline constexpr const char* kMsgSourceCutShort = "源分区超出磁盘末尾：分区表记载%llu个扇区，磁盘上只有%llu个";
inline constexpr const char* kMsgNothingToCopy = "，没有可复制的扇区";
inline constexpr const char* kMsgImageIncomplete = "；只复制了这些扇区，镜像不完整";
inline constexpr const char* kMsgStartPastSourceEnd = "起始扇区%llu超出源的末尾（源共%llu个扇区）";
inline constexpr const char* kMsgChooseMapfile = "请选择映射文件路径";
inline constexpr const char* kMsgResumeNeedsMapfile = "继续镜像需要映射文件";
inline constexpr const char* kMsgMapfileUnusable = "映射文件无法使用：%s";
inline constexpr const char* kMsgResumeTargetMissing = "要继续的镜像文件 %s 不存在";
inline constexpr const char* kMsgImageShorterThanMap = "镜像文件比映射文件记载的已复制部分短，二者不是同一次镜像，未读写任何数据";

}  // namespace dudorazu
