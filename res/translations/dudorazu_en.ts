<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Commands</name>
    <message>
        <source>打开镜像文件     Ctrl+O</source>
        <translation>Open image file     Ctrl+O</translation>
    </message>
    <message>
        <source>关闭             Ctrl+F4</source>
        <translation>Close             Ctrl+F4</translation>
    </message>
    <message>
        <source>扫描丢失分区      Ctrl+Alt+P</source>
        <translation>Find lost partitions      Ctrl+Alt+P</translation>
    </message>
    <message>
        <source>全盘扫描</source>
        <translation>Whole-disk scan</translation>
    </message>
    <message>
        <source>创建区域</source>
        <translation>Create region</translation>
    </message>
    <message>
        <source>分区表操作</source>
        <translation>Partition table</translation>
    </message>
    <message>
        <source>镜像</source>
        <translation>Imaging</translation>
    </message>
    <message>
        <source>提取分区空闲空间</source>
        <translation>Extract free space of a partition</translation>
    </message>
    <message>
        <source>重新打开磁盘   Ctrl+Alt+D </source>
        <translation>Reopen disk   Ctrl+Alt+D </translation>
    </message>
    <message>
        <source>关闭分区       Ctrl+Shift+C</source>
        <translation>Close partition       Ctrl+Shift+C</translation>
    </message>
    <message>
        <source>恢复文件       Ctrl+Alt+R</source>
        <translation>Recover file       Ctrl+Alt+R</translation>
    </message>
    <message>
        <source>恢复选中文件   Ctrl+S</source>
        <translation>Recover ticked files   Ctrl+S</translation>
    </message>
    <message>
        <source>文件大小统计   Ctrl+Alt+A</source>
        <translation>File size statistics   Ctrl+Alt+A</translation>
    </message>
    <message>
        <source>全部选择         F5</source>
        <translation>Tick all         F5</translation>
    </message>
    <message>
        <source>取消全部选择     F4</source>
        <translation>Untick all     F4</translation>
    </message>
    <message>
        <source>扫描丢失文件     CTrl+L</source>
        <translation>Scan for lost files     Ctrl+L</translation>
    </message>
    <message>
        <source>关于     Ctrl+A</source>
        <translation>About     Ctrl+A</translation>
    </message>
    <message>
        <source>帮助     F1</source>
        <translation>Help     F1</translation>
    </message>
    <message>
        <source>查找文件</source>
        <translation>Find files</translation>
    </message>
</context>
<context>
    <name>DiskTreeModel</name>
    <message>
        <source>磁盘</source>
        <translation>Disk</translation>
    </message>
    <message>
        <source>标签</source>
        <translation>Label</translation>
    </message>
    <message>
        <source>文件类型</source>
        <translation>File system</translation>
    </message>
    <message>
        <source>起始地址</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
</context>
<context>
    <name>DriveAccess</name>
    <message>
        <source>身份验证已取消。</source>
        <translation>Authentication was cancelled.</translation>
    </message>
    <message>
        <source>没有获得授权。</source>
        <translation>Not authorised.</translation>
    </message>
    <message>
        <source>系统没有及时回答。</source>
        <translation>The system did not answer in time.</translation>
    </message>
    <message>
        <source>系统服务无法打开它。</source>
        <translation>The system service could not open it.</translation>
    </message>
    <message>
        <source>找不到系统的磁盘服务。</source>
        <translation>The system&apos;s disk service was not found.</translation>
    </message>
    <message>
        <source>系统服务没有交回设备。</source>
        <translation>The system service did not hand over the device.</translation>
    </message>
    <message>
        <source>打开驱动器</source>
        <translation>Open drive</translation>
    </message>
    <message>
        <source>系统拒绝打开驱动器 %1：%2</source>
        <translation>The system refused to open drive %1: %2</translation>
    </message>
    <message>
        <source>已获得驱动器 %1 的读取权限，但仍无法读取它。</source>
        <translation>Read access to drive %1 was granted, but it still cannot be read.</translation>
    </message>
    <message>
        <source>系统没有允许写入驱动器 %1，未写入任何内容：%2</source>
        <translation>The system did not allow writing to drive %1; nothing was written: %2</translation>
    </message>
    <message>
        <source>写入驱动器</source>
        <translation>Write to drive</translation>
    </message>
</context>
<context>
    <name>FileListModel</name>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>State</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>创建时间</source>
        <translation>Created</translation>
    </message>
    <message>
        <source>修改时间</source>
        <translation>Modified</translation>
    </message>
    <message>
        <source>文件读取时间</source>
        <translation>Accessed</translation>
    </message>
    <message>
        <source>文件号</source>
        <translation>File no.</translation>
    </message>
    <message>
        <source>文件父号</source>
        <translation>Parent no.</translation>
    </message>
    <message>
        <source>可恢复性</source>
        <translation>Recoverability</translation>
    </message>
</context>
<context>
    <name>FolderTreeModel</name>
    <message>
        <source>磁盘分区</source>
        <translation>Partition</translation>
    </message>
    <message>
        <source>File Id</source>
        <translation>File Id</translation>
    </message>
    <message>
        <source>Create Time</source>
        <translation>Create Time</translation>
    </message>
</context>
<context>
    <name>OperationRunner</name>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>正在%1，%2将停止%3。

%4</source>
        <translation>%1 is under way; %2 will stop %3.

%4</translation>
    </message>
    <message>
        <source>、</source>
        <translation>, </translation>
    </message>
    <message>
        <source>它们</source>
        <translation>them</translation>
    </message>
    <message>
        <source>它</source>
        <translation>it</translation>
    </message>
</context>
<context>
    <name>PartitionSearchWindow</name>
    <message>
        <source>文件系统</source>
        <translation>System</translation>
    </message>
    <message>
        <source>卷标</source>
        <translation>Label</translation>
    </message>
    <message>
        <source>柱面-磁头-扇区</source>
        <translation>C-H-S</translation>
    </message>
    <message>
        <source>分区大小</source>
        <translation>Partition size</translation>
    </message>
    <message>
        <source>分区类型</source>
        <translation>Entry kind</translation>
    </message>
</context>
<context>
    <name>RegionDialog</name>
    <message>
        <source>没有选择磁盘</source>
        <translation>No disk selected</translation>
    </message>
    <message>
        <source>请正确选择磁盘</source>
        <translation>Please select a disk</translation>
    </message>
</context>
<context>
    <name>Screenshot</name>
    <message>
        <source>/恢复的文件</source>
        <translation>/Recovered files</translation>
    </message>
    <message>
        <source>/分区镜像.img</source>
        <translation>/partition-image.img</translation>
    </message>
    <message>
        <source>/分区镜像.map</source>
        <translation>/partition-image.map</translation>
    </message>
</context>
<context>
    <name>SearchDiskDialog</name>
    <message>
        <source>柱面</source>
        <translation>Cylinders</translation>
    </message>
    <message>
        <source>磁头</source>
        <translation>Heads</translation>
    </message>
    <message>
        <source>扇区</source>
        <translation>Sectors</translation>
    </message>
    <message>
        <source>快速对齐</source>
        <translation>Quick (aligned)</translation>
    </message>
</context>
<context>
    <name>TableOperations</name>
    <message>
        <source>没有选择磁盘</source>
        <translation>No disk selected</translation>
    </message>
    <message>
        <source>没有正确选择磁盘</source>
        <translation>No disk correctly selected</translation>
    </message>
    <message>
        <source>分区表恢复</source>
        <translation>Restore partition table</translation>
    </message>
    <message>
        <source>请正确选择磁盘</source>
        <translation>Please select a disk</translation>
    </message>
</context>
<context>
    <name>core</name>
    <message>
        <source>根目录</source>
        <translation>Root folder</translation>
    </message>
    <message>
        <source>扩展目录</source>
        <translation>Extended folder</translation>
    </message>
    <message>
        <source>主</source>
        <translation>Primary</translation>
    </message>
    <message>
        <source>逻辑</source>
        <translation>Logical</translation>
    </message>
    <message>
        <source>已删除文件夹</source>
        <translation>Deleted folder</translation>
    </message>
    <message>
        <source>已删除文件</source>
        <translation>Deleted file</translation>
    </message>
    <message>
        <source>正常文件夹</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>正常文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>可完整恢复</source>
        <translation>Intact</translation>
    </message>
    <message>
        <source>雕刻恢复</source>
        <translation>Carved</translation>
    </message>
    <message>
        <source>推测的簇链</source>
        <translation>Guessed clusters</translation>
    </message>
    <message>
        <source>扇区损坏</source>
        <translation>Damaged sectors</translation>
    </message>
    <message>
        <source>已被覆盖</source>
        <translation>Overwritten</translation>
    </message>
    <message>
        <source>无法访问</source>
        <translation>Unreachable</translation>
    </message>
    <message>
        <source>%1，另见目录树</source>
        <translation>%1, also in the tree</translation>
    </message>
    <message>
        <source>%1（%2/%3 字节）</source>
        <translation>%1 (%2/%3 bytes)</translation>
    </message>
    <message>
        <source>驱动类型</source>
        <translation>Drive type</translation>
    </message>
    <message>
        <source>物理驱动-硬盘</source>
        <translation>Physical drive - hard disk</translation>
    </message>
    <message>
        <source>系统文件</source>
        <translation>Image file</translation>
    </message>
    <message>
        <source>卷-硬盘</source>
        <translation>Volume - hard disk</translation>
    </message>
    <message>
        <source>分区</source>
        <translation>Partition</translation>
    </message>
    <message>
        <source>名称</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>系统对象</source>
        <translation>System object</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>扇区大小</source>
        <translation>Sector size</translation>
    </message>
    <message>
        <source>分区大小</source>
        <translation>Partition size</translation>
    </message>
    <message>
        <source>起始地址</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>展开分区文件</source>
        <translation>Loading the partition</translation>
    </message>
    <message>
        <source>扫描丢失文件</source>
        <translation>Scanning for lost files</translation>
    </message>
    <message>
        <source>正在保存文件</source>
        <translation>Saving files</translation>
    </message>
    <message>
        <source>检查</source>
        <translation>Checking</translation>
    </message>
    <message>
        <source>扫描分区</source>
        <translation>Scanning partitions</translation>
    </message>
    <message>
        <source>全盘扫描</source>
        <translation>Whole-disk scan</translation>
    </message>
    <message>
        <source>分区扫描</source>
        <translation>Partition scan</translation>
    </message>
    <message>
        <source>镜像</source>
        <translation>Imaging</translation>
    </message>
    <message>
        <source>等待当前操作完成！</source>
        <translation>Wait for the current operation to finish!</translation>
    </message>
    <message>
        <source>等待当前操作完成，请稍后！</source>
        <translation>Wait for the current operation to finish, please!</translation>
    </message>
    <message>
        <source>等待此操作完成！</source>
        <translation>Wait for this operation to finish!</translation>
    </message>
    <message>
        <source>正在计算，请稍后...</source>
        <translation>Calculating, please wait...</translation>
    </message>
    <message>
        <source>%1 目录被找到</source>
        <translation>%1 folders found</translation>
    </message>
    <message>
        <source>%1 BYTE被保存</source>
        <translation>%1 bytes saved</translation>
    </message>
    <message>
        <source>文件统计</source>
        <translation>File statistics</translation>
    </message>
    <message>
        <source>文件统计： %1在%2个文件夹中包含 %3个文件</source>
        <translation>File statistics: %1 in %3 files in %2 folders</translation>
    </message>
    <message>
        <source>总大小 %1 在 %2 个文件夹中共有 %3 个文件</source>
        <translation>Total size %1 in %3 files in %2 folders</translation>
    </message>
    <message>
        <source>扫描完毕：找到 %1 个文件夹，恢复出 %2 个文件</source>
        <translation>Scan finished: %1 folders found, %2 files recovered</translation>
    </message>
    <message>
        <source>本次保存 %1 Byte</source>
        <translation>This save: %1 bytes</translation>
    </message>
    <message>
        <source>%1 %2 个</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>等待当前保存操作完成</source>
        <translation>Wait for the current save to finish</translation>
    </message>
    <message>
        <source>等待当前操作完成</source>
        <translation>Wait for the current operation to finish</translation>
    </message>
    <message>
        <source>请选择文件</source>
        <translation>Please choose files</translation>
    </message>
    <message>
        <source>选择保存路径</source>
        <translation>Choose where to save</translation>
    </message>
    <message>
        <source>没有信息</source>
        <translation>Nothing loaded</translation>
    </message>
    <message>
        <source>无法得知目标盘的剩余空间，请重新选择保存路径!</source>
        <translation>The target disk&apos;s free space cannot be found out; please choose another folder!</translation>
    </message>
    <message>
        <source>目标盘剩余空间不足，请重新选择盘!</source>
        <translation>Not enough free space on the target disk; please choose another disk!</translation>
    </message>
    <message>
        <source>即将保存 %1,磁盘空间不够！</source>
        <translation>About to save %1: not enough disk space!</translation>
    </message>
    <message>
        <source>目标文件夹位于正在恢复的分区上，请选择其他磁盘</source>
        <translation>The target folder is on the partition being recovered; please choose another disk</translation>
    </message>
    <message>
        <source>已保存 %1 个文件，%2 字节。</source>
        <translation>Saved %1 files, %2 bytes.</translation>
    </message>
    <message>
        <source>其中 %1 个文件的簇已被其他文件占用，保存的内容可能含有其他文件的数据。</source>
        <translation>Of these, %1 files have clusters now used by other files; what was saved may hold other files&apos; data.</translation>
    </message>
    <message>
        <source>其中 %1 个文件的后续簇是按空闲簇推测的，内容可能不属于该文件。</source>
        <translation>Of these, %1 files have later clusters guessed from free clusters; the contents may not be theirs.</translation>
    </message>
    <message>
        <source>其中 %1 个文件有簇位于无法读取的扇区或卷外，保存的内容不完整。</source>
        <translation>Of these, %1 files have clusters in unreadable sectors or outside the volume; what was saved is incomplete.</translation>
    </message>
    <message>
        <source>保存已停止，未保存的文件不在其中。</source>
        <translation>The save was stopped; files not saved are not counted.</translation>
    </message>
    <message>
        <source>以下 %1 个文件未完整保存或需核对：</source>
        <translation>These %1 files were not saved whole or need checking:</translation>
    </message>
    <message>
        <source>不是磁盘</source>
        <translation>not a disk</translation>
    </message>
    <message>
        <source>没有权限</source>
        <translation>no permission</translation>
    </message>
    <message>
        <source>设备不存在或未就绪</source>
        <translation>device missing or not ready</translation>
    </message>
    <message>
        <source>没有插入介质</source>
        <translation>no medium inserted</translation>
    </message>
    <message>
        <source>设备正被占用</source>
        <translation>device busy</translation>
    </message>
    <message>
        <source>读取出错</source>
        <translation>read error</translation>
    </message>
    <message>
        <source>无法打开（错误号 %1）</source>
        <translation>cannot be opened (error %1)</translation>
    </message>
    <message>
        <source>%1 个驱动器尚未打开：%2。双击下面列出的驱动器，即可向系统申请读取权限（系统可能要求输入密码）。镜像文件不需要此权限，可随时用“打开镜像文件”打开。</source>
        <translation>%1 drive(s) not opened yet: %2. Double-click a drive listed below to ask the system for read access (it may ask for a password). Image files need no such access and can always be opened with &quot;Open image file&quot;.</translation>
    </message>
    <message>
        <source>%1 个驱动器无法打开，未列出：%2。读取驱动器需要管理员权限：请以 root 身份启动本程序（例如 sudo -E dudorazu 或 pkexec dudorazu）。镜像文件不需要此权限，可随时用“打开镜像文件”打开。</source>
        <translation>%1 drive(s) could not be opened and are not listed: %2. Reading drives needs administrator rights: start the program as root (for example sudo -E dudorazu or pkexec dudorazu). Image files need no such rights and can always be opened with &quot;Open image file&quot;.</translation>
    </message>
    <message>
        <source>%1 个驱动器无法打开，未列出：%2。</source>
        <translation>%1 drive(s) could not be opened and are not listed: %2.</translation>
    </message>
    <message>
        <source>不能更改当前系统所在的硬盘分区信息！</source>
        <translation>The partitions of the disk the running system is on cannot be changed!</translation>
    </message>
    <message>
        <source>选择错误，请从新选择</source>
        <translation>Wrong choice, please choose again</translation>
    </message>
    <message>
        <source>备份成功</source>
        <translation>Backup done</translation>
    </message>
    <message>
        <source>恢复成功</source>
        <translation>Restore done</translation>
    </message>
    <message>
        <source>备份信息与磁盘不对应</source>
        <translation>The backup does not belong to this disk</translation>
    </message>
    <message>
        <source>打开失败</source>
        <translation>Opening failed</translation>
    </message>
    <message>
        <source>磁盘有坏道，请重新选择目标文件</source>
        <translation>The disk has bad sectors; please choose another target file</translation>
    </message>
    <message>
        <source>镜像完毕</source>
        <translation>Imaging finished</translation>
    </message>
    <message>
        <source>读取磁盘失败，未写入任何数据</source>
        <translation>Reading the disk failed; nothing was written</translation>
    </message>
    <message>
        <source>写入磁盘失败</source>
        <translation>Writing to the disk failed</translation>
    </message>
    <message>
        <source>写入备份文件失败</source>
        <translation>Writing the backup file failed</translation>
    </message>
    <message>
        <source>分区过大，无法写入MBR分区表</source>
        <translation>The partition is too large for an MBR partition table</translation>
    </message>
    <message>
        <source>分区数目过多，备份信息超过512字节，无法备份</source>
        <translation>Too many partitions: the backup would exceed 512 bytes and cannot be made</translation>
    </message>
    <message>
        <source>磁盘名称含有字符^，无法备份</source>
        <translation>The disk&apos;s name holds the character ^; no backup can be made</translation>
    </message>
    <message>
        <source>备份文件格式错误，未写入任何数据</source>
        <translation>The backup file is malformed; nothing was written</translation>
    </message>
    <message>
        <source>备份文件中偏移 %1 处的扇区超出磁盘末尾，未写入任何数据</source>
        <translation>The sector at offset %1 of the backup lies past the disk&apos;s end; nothing was written</translation>
    </message>
    <message>
        <source>备份文件中偏移 %1 处的扇区不是备份中分区表所在的扇区，未写入任何数据</source>
        <translation>The sector at offset %1 of the backup is not one of its partition tables; nothing was written</translation>
    </message>
    <message>
        <source>%1 与 %2 重叠，分区表项不能重叠，请只勾选其中一个；未写入任何数据</source>
        <translation>%1 overlaps %2; table entries cannot overlap, tick only one of them; nothing was written</translation>
    </message>
    <message>
        <source>%1 起始于磁盘末尾之外，无法写入分区表；未写入任何数据</source>
        <translation>%1 starts past the disk&apos;s end and cannot go into the table; nothing was written</translation>
    </message>
    <message>
        <source>%1 卷%2（起始扇区 %3）</source>
        <translation>%1 volume%2 (start sector %3)</translation>
    </message>
    <message>
        <source>目标空间不足</source>
        <translation>Not enough room on the target</translation>
    </message>
    <message>
        <source>源与目标重叠</source>
        <translation>Source and target overlap</translation>
    </message>
    <message>
        <source>源与目标重叠: %1</source>
        <translation>Source and target overlap: %1</translation>
    </message>
    <message>
        <source>目标磁盘上有已挂载的卷（或为系统盘），不能写入</source>
        <translation>The target disk has mounted volumes (or holds the system); it cannot be written</translation>
    </message>
    <message>
        <source>%1 是磁盘设备，不是文件；要写入磁盘请选择目标磁盘</source>
        <translation>%1 is a disk device, not a file; to write to a disk choose a target disk</translation>
    </message>
    <message>
        <source>源分区超出磁盘末尾：分区表记载%1个扇区，磁盘上只有%2个；只复制了这些扇区，镜像不完整</source>
        <translation>The source partition runs past the disk&apos;s end: the table says %1 sectors, the disk holds %2; only those were copied, the image is incomplete</translation>
    </message>
    <message>
        <source>源分区超出磁盘末尾：分区表记载%1个扇区，磁盘上只有%2个，没有可复制的扇区</source>
        <translation>The source partition runs past the disk&apos;s end: the table says %1 sectors, the disk holds %2; there is nothing to copy</translation>
    </message>
    <message>
        <source>源分区超出磁盘末尾：分区表记载%1个扇区，磁盘上只有%2个</source>
        <translation>The source partition runs past the disk&apos;s end: the table says %1 sectors, the disk holds %2</translation>
    </message>
    <message>
        <source>起始扇区%1超出源的末尾（源共%2个扇区）</source>
        <translation>Start sector %1 lies past the source&apos;s end (the source has %2 sectors)</translation>
    </message>
    <message>
        <source>请选择映射文件路径</source>
        <translation>Please choose the mapfile</translation>
    </message>
    <message>
        <source>继续镜像需要映射文件</source>
        <translation>Resuming an image needs its mapfile</translation>
    </message>
    <message>
        <source>映射文件无法使用：%1</source>
        <translation>The mapfile cannot be used: %1</translation>
    </message>
    <message>
        <source>要继续的镜像文件 %1 不存在</source>
        <translation>The image file %1 to resume does not exist</translation>
    </message>
    <message>
        <source>镜像文件比映射文件记载的已复制部分短，二者不是同一次镜像，未读写任何数据</source>
        <translation>The image file is shorter than the part its mapfile says was copied; they are not from the same run; nothing was read or written</translation>
    </message>
    <message>
        <source>第%1个坏扇区</source>
        <translation>Bad sector %1</translation>
    </message>
    <message>
        <source>有%1个扇区无法读取，已用0x20填充（见坏扇区列表）</source>
        <translation>%1 sectors could not be read and were filled with 0x20 (see the bad-sector list)</translation>
    </message>
    <message>
        <source>有%1个扇区未逐个读取，已用0x20填充</source>
        <translation>%1 sectors were not read one by one and were filled with 0x20</translation>
    </message>
    <message>
        <source>镜像已停止：已写入%1个扇区，其余未复制，映射文件 %2 记录了未复制的部分</source>
        <translation>Imaging stopped: %1 sectors written, the rest not copied; the mapfile %2 records what was not copied</translation>
    </message>
    <message>
        <source>镜像已停止：已写入%1个扇区，其余未复制</source>
        <translation>Imaging stopped: %1 sectors written, the rest not copied</translation>
    </message>
    <message>
        <source>请选择源磁盘信息</source>
        <translation>Please choose the source disk</translation>
    </message>
    <message>
        <source>请填写源磁盘镜像大小</source>
        <translation>Please enter the number of sectors to copy</translation>
    </message>
    <message>
        <source>请填写源磁盘镜像起始扇区</source>
        <translation>Please enter the source start sector</translation>
    </message>
    <message>
        <source>请选择目标文件路径</source>
        <translation>Please choose the target file</translation>
    </message>
    <message>
        <source>请选择目标磁盘信息</source>
        <translation>Please choose the target disk</translation>
    </message>
    <message>
        <source>请填写目标磁盘镜像起始扇区</source>
        <translation>Please enter the target start sector</translation>
    </message>
    <message>
        <source>找到 exFAT 大写转换表：磁盘第 %1 扇区（分区内第 %2 扇区）</source>
        <translation>exFAT up-case table found: disk sector %1 (sector %2 of the partition)</translation>
    </message>
    <message>
        <source>找到 exFAT 大写转换表：磁盘第 %1 扇区</source>
        <translation>exFAT up-case table found: disk sector %1</translation>
    </message>
    <message>
        <source>数值填写错误，请改写！</source>
        <translation>The number is not valid, please correct it!</translation>
    </message>
    <message>
        <source>数值填写过大，请改写！</source>
        <translation>The number is too large, please correct it!</translation>
    </message>
    <message>
        <source>是否继续？</source>
        <translation>Continue?</translation>
    </message>
    <message>
        <source>此操作将改写 %1 第0扇区的分区表，写入：</source>
        <translation>This overwrites the partition table in sector 0 of %1 with:</translation>
    </message>
    <message>
        <source>  %1 起始扇区 %2，大小 %3（超出磁盘末尾，表项截至磁盘末尾，共 %4 扇区）</source>
        <translation>  %1 at sector %2, %3 (runs past the disk&apos;s end: its entry stops there, %4 sectors)</translation>
    </message>
    <message>
        <source>  %1 起始扇区 %2，大小 %3</source>
        <translation>  %1 at sector %2, %3</translation>
    </message>
    <message>
        <source>此操作将改写 %1 的 %2 个扇区：%3</source>
        <translation>This overwrites %2 sector(s) of %1:%3</translation>
    </message>
    <message>
        <source>该操作可能破坏目标磁盘：将改写 %1 从第 %2 扇区起的 %3 个扇区，并替换映射文件 %4</source>
        <translation>This may destroy the target disk: it overwrites %3 sector(s) of %1 from sector %2, and replaces the mapfile %4</translation>
    </message>
    <message>
        <source>该操作可能破坏目标磁盘：将改写 %1 从第 %2 扇区起的 %3 个扇区</source>
        <translation>This may destroy the target disk: it overwrites %3 sector(s) of %1 from sector %2</translation>
    </message>
    <message>
        <source>此操作将替换文件 %1，并替换映射文件 %2</source>
        <translation>This replaces the file %1 and the mapfile %2</translation>
    </message>
    <message>
        <source>此操作将替换文件 %1</source>
        <translation>This replaces the file %1</translation>
    </message>
    <message>
        <source>此操作将替换映射文件 %1</source>
        <translation>This replaces the mapfile %1</translation>
    </message>
    <message>
        <source>%1；%2</source>
        <translation>%1; %2</translation>
    </message>
    <message>
        <source>%1，%2</source>
        <translation>%1, %2</translation>
    </message>
    <message>
        <source>%1（%2）</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>error</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>waiting</source>
        <translation>Waiting</translation>
    </message>
    <message>
        <source>sucess</source>
        <translation>Success</translation>
    </message>
</context>
<context>
    <name>dudorazu::shell::DiskScans</name>
    <message>
        <source>没有选择磁盘</source>
        <translation>No disk selected</translation>
    </message>
    <message>
        <source>请选择分区</source>
        <translation>Please select a partition</translation>
    </message>
    <message>
        <source>此操作执行失败！</source>
        <translation>The operation failed!</translation>
    </message>
</context>
<context>
    <name>dudorazu::shell::DiskWindow</name>
    <message>
        <source>磁盘文件</source>
        <translation>Disks</translation>
    </message>
    <message>
        <source>磁盘</source>
        <translation>Disk</translation>
    </message>
    <message>
        <source>属性</source>
        <translation>Properties</translation>
    </message>
    <message>
        <source>未打开的驱动器</source>
        <translation>Drives not opened</translation>
    </message>
    <message>
        <source>型号</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>State</translation>
    </message>
    <message>
        <source>双击请求读取权限</source>
        <translation>Double-click to ask for read access</translation>
    </message>
    <message>
        <source>正在向系统请求…</source>
        <translation>Asking the system…</translation>
    </message>
    <message>
        <source>创建分区镜像文件     Ctrl+Alt+J</source>
        <translation>Create partition image     Ctrl+Alt+J</translation>
    </message>
    <message>
        <source>提取分区空闲空间     Ctrl+Alt+G</source>
        <translation>Extract free space of the partition     Ctrl+Alt+G</translation>
    </message>
    <message>
        <source>分区扫描</source>
        <translation>Partition scan</translation>
    </message>
    <message>
        <source>扫描丢失分区    Ctrl+Alt+P</source>
        <translation>Find lost partitions    Ctrl+Alt+P</translation>
    </message>
    <message>
        <source>分区表操作     Ctrl+Alt+O</source>
        <translation>Partition table     Ctrl+Alt+O</translation>
    </message>
    <message>
        <source>关闭镜像文件</source>
        <translation>Close image file</translation>
    </message>
</context>
<context>
    <name>dudorazu::shell::FindDialog</name>
    <message>
        <source>查找文件</source>
        <translation>Find files</translation>
    </message>
    <message>
        <source>文件名</source>
        <translation>File name</translation>
    </message>
    <message>
        <source>文件扩展名</source>
        <translation>File extension</translation>
    </message>
    <message>
        <source>文件名匹配</source>
        <translation>Name pattern</translation>
    </message>
    <message>
        <source>查找方式</source>
        <translation>Search by</translation>
    </message>
    <message>
        <source>查找内容</source>
        <translation>Search for</translation>
    </message>
    <message>
        <source>全匹配</source>
        <translation>Whole name</translation>
    </message>
    <message>
        <source>删除文件</source>
        <translation>Deleted files</translation>
    </message>
    <message>
        <source>正常文件</source>
        <translation>Live files</translation>
    </message>
    <message>
        <source>只显示可完整恢复的文件</source>
        <translation>Only files that can be recovered whole</translation>
    </message>
    <message>
        <source>查找类型</source>
        <translation>Search for kinds</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>文件夹</source>
        <translation>Folders</translation>
    </message>
    <message>
        <source>例子:</source>
        <translation>Example:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>dudorazu::shell::ImagingDialog</name>
    <message>
        <source>正向</source>
        <translation>forwards</translation>
    </message>
    <message>
        <source>反向</source>
        <translation>backwards</translation>
    </message>
    <message>
        <source>复制未读取的块：第 %1 遍，%2</source>
        <translation>Copying unread blocks: pass %1, %2</translation>
    </message>
    <message>
        <source>修边：逐扇区读取失败块的两端，%1</source>
        <translation>Trimming: reading the ends of failed blocks sector by sector, %1</translation>
    </message>
    <message>
        <source>逐扇区读取失败块的其余部分，%1</source>
        <translation>Scraping the rest of failed blocks sector by sector, %1</translation>
    </message>
    <message>
        <source>重试坏扇区：第 %1 次，%2</source>
        <translation>Retrying bad sectors: pass %1, %2</translation>
    </message>
    <message>
        <source>已结束</source>
        <translation>Finished</translation>
    </message>
    <message>
        <source>
已复制 %1，未读取 %2
待修边 %3，待逐扇区 %4
无法读取 %5（%6 处）
速度 %7/秒，距上次成功读取 %8 秒</source>
        <translation>
Copied %1, not read %2
To trim %3, to scrape %4
Unreadable %5 (%6 areas)
Rate %7/s, %8 s since the last good read</translation>
    </message>
    <message>
        <source>浏览</source>
        <translation>Browse</translation>
    </message>
    <message>
        <source>源文件：</source>
        <translation>Source:</translation>
    </message>
    <message>
        <source>起始扇区：</source>
        <translation>Start sector:</translation>
    </message>
    <message>
        <source>源起始扇区</source>
        <translation>Source start sector</translation>
    </message>
    <message>
        <source>扇区数目：</source>
        <translation>Sectors:</translation>
    </message>
    <message>
        <source>选择</source>
        <translation>Target</translation>
    </message>
    <message>
        <source>到磁盘</source>
        <translation>To disk</translation>
    </message>
    <message>
        <source>到文件</source>
        <translation>To file</translation>
    </message>
    <message>
        <source>目标磁盘：</source>
        <translation>Target disk:</translation>
    </message>
    <message>
        <source>目标起始扇区</source>
        <translation>Target start sector</translation>
    </message>
    <message>
        <source>文件路径：</source>
        <translation>File:</translation>
    </message>
    <message>
        <source>映射文件：</source>
        <translation>Mapfile:</translation>
    </message>
    <message>
        <source>保存ddrescue映射文件</source>
        <translation>Save a ddrescue mapfile</translation>
    </message>
    <message>
        <source>同时保存 GNU ddrescue 格式的映射文件，记录已复制、坏扇区和未复制的部分</source>
        <translation>Also save a mapfile in GNU ddrescue format recording what was copied, the bad sectors and what was not copied</translation>
    </message>
    <message>
        <source>映射文件路径</source>
        <translation>Mapfile path</translation>
    </message>
    <message>
        <source>浏览映射文件</source>
        <translation>Browse for the mapfile</translation>
    </message>
    <message>
        <source>继续上次的镜像</source>
        <translation>Resume the last image</translation>
    </message>
    <message>
        <source>按映射文件继续：已复制的部分不再读取，只读取未完成的部分，无法读取的扇区再试一次</source>
        <translation>Continue from the mapfile: what was copied is not read again, only the unfinished parts are, and unreadable sectors are tried once more</translation>
    </message>
    <message>
        <source>扇区完成镜像</source>
        <translation>sectors imaged</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>坏扇区列表</source>
        <translation>Bad sectors</translation>
    </message>
    <message>
        <source>坏扇区数目</source>
        <translation>Bad sector</translation>
    </message>
    <message>
        <source>坏扇区扇区号</source>
        <translation>Sector number</translation>
    </message>
    <message>
        <source>第10000个坏扇区</source>
        <translation>Bad sector 10000</translation>
    </message>
    <message>
        <source>选择磁盘或分区</source>
        <translation>Choose a disk or partition</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>正在停止...</source>
        <translation>Stopping...</translation>
    </message>
</context>
<context>
    <name>dudorazu::shell::MainWindow</name>
    <message>
        <source>文件(&amp;F)</source>
        <translation>&amp;File</translation>
    </message>
    <message>
        <source>恢复(&amp;R)</source>
        <translation>&amp;Recover</translation>
    </message>
    <message>
        <source>工具(&amp;T)</source>
        <translation>&amp;Tools</translation>
    </message>
    <message>
        <source>帮助(&amp;H)</source>
        <translation>&amp;Help</translation>
    </message>
    <message>
        <source>语言</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>重新启动后生效</source>
        <translation>Takes effect after restart</translation>
    </message>
    <message>
        <source>工具栏</source>
        <translation>Toolbar</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Ready</translation>
    </message>
    <message>
        <source>关于 </source>
        <translation>About </translation>
    </message>
    <message>
        <source> 0.1
exFAT 数据恢复工具</source>
        <translation> 0.1
exFAT data recovery tool</translation>
    </message>
    <message>
        <source>请选择分区操作类型！</source>
        <translation>Please choose what to do with the partition table!</translation>
    </message>
    <message>
        <source>请选择源文件</source>
        <translation>Please choose a source file</translation>
    </message>
    <message>
        <source>找不到帮助文档（manual/index.html），请重新安装本程序。</source>
        <translation>The manual (manual/index.html) was not found; please reinstall the program.</translation>
    </message>
    <message>
        <source>映射文件无法使用：%1
%2</source>
        <translation>The mapfile cannot be used: %1
%2</translation>
    </message>
    <message>
        <source>已按映射文件 %1 把未复制的区域视为无法读取</source>
        <translation>Areas not copied according to mapfile %1 are treated as unreadable</translation>
    </message>
    <message>
        <source>此分区已打开！</source>
        <translation>This partition is already open!</translation>
    </message>
    <message>
        <source>磁盘：</source>
        <translation>Disk: </translation>
    </message>
    <message>
        <source>
分区：</source>
        <translation>
Partition: </translation>
    </message>
    <message>
        <source>
卷标：</source>
        <translation>
Label: </translation>
    </message>
    <message>
        <source>退出</source>
        <translation>exiting</translation>
    </message>
    <message>
        <source>您真的要退出程序吗?</source>
        <translation>Do you really want to exit?</translation>
    </message>
    <message>
        <source>正在停止当前操作，结束后退出...</source>
        <translation>Stopping the current operation, then exiting...</translation>
    </message>
</context>
<context>
    <name>dudorazu::shell::ManualWindow</name>
    <message>
        <source>帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>帮助文档</source>
        <translation>Manual</translation>
    </message>
    <message>
        <source>后退</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>目录</source>
        <translation>Contents</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
</context>
<context>
    <name>dudorazu::shell::PartitionSearchWindow</name>
    <message>
        <source>扫描分区</source>
        <translation>Partition search</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>正在扫描分区</source>
        <translation>Scanning partitions</translation>
    </message>
    <message>
        <source>扫描完毕，找到 %1 个分区</source>
        <translation>Scan finished, %1 partition(s) found</translation>
    </message>
    <message>
        <source>扫描已停止，找到 %1 个分区</source>
        <translation>Scan stopped, %1 partition(s) found</translation>
    </message>
    <message>
        <source>无法读取磁盘，扫描未完成</source>
        <translation>The disk cannot be read; the scan did not finish</translation>
    </message>
    <message>
        <source>正在停止...</source>
        <translation>Stopping...</translation>
    </message>
</context>
<context>
    <name>dudorazu::shell::PartitionWindow</name>
    <message>
        <source>磁盘分区</source>
        <translation>Partition</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>closing</translation>
    </message>
    <message>
        <source>要关闭这个分区窗口吗?</source>
        <translation>Close this partition window?</translation>
    </message>
    <message>
        <source>保存当前选中文件     Ctrl+Alt+R</source>
        <translation>Save the selected file     Ctrl+Alt+R</translation>
    </message>
    <message>
        <source>保存打勾文件         Ctrl+S</source>
        <translation>Save the ticked files         Ctrl+S</translation>
    </message>
    <message>
        <source>扫描丢失文件     Ctrl+L</source>
        <translation>Scan for lost files     Ctrl+L</translation>
    </message>
    <message>
        <source>文件大小统计         Ctrl+Alt+A</source>
        <translation>File size statistics         Ctrl+Alt+A</translation>
    </message>
</context>
<context>
    <name>dudorazu::shell::ProgressWindow</name>
    <message>
        <source>正在执行操作,请稍后...</source>
        <translation>Working, please wait...</translation>
    </message>
    <message>
        <source>正在分析文件，请稍后!</source>
        <translation>Analysing files, please wait!</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>正在%1</source>
        <translation>%1</translation>
    </message>
</context>
<context>
    <name>dudorazu::shell::RebuildDialog</name>
    <message>
        <source>重建分区表</source>
        <translation>Rebuild partition table</translation>
    </message>
    <message>
        <source>系统</source>
        <translation>System</translation>
    </message>
    <message>
        <source>卷标</source>
        <translation>Label</translation>
    </message>
    <message>
        <source>起始位置(sec)</source>
        <translation>Start (sec)</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>主/逻辑</source>
        <translation>Primary/logical</translation>
    </message>
    <message>
        <source>警告：分区表重建前需备份</source>
        <translation>Warning: back up the partition table before rebuilding it</translation>
    </message>
    <message>
        <source>保存</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>分区表备份</source>
        <translation>Back up partition table</translation>
    </message>
</context>
<context>
    <name>dudorazu::shell::RegionDialog</name>
    <message>
        <source>创建区域</source>
        <translation>Create region</translation>
    </message>
    <message>
        <source>硬盘大小：</source>
        <translation>Disk size:</translation>
    </message>
    <message>
        <source>单位</source>
        <translation> unit</translation>
    </message>
    <message>
        <source>开始：</source>
        <translation>Start:</translation>
    </message>
    <message>
        <source>大小：</source>
        <translation>Size:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>dudorazu::shell::SaveDialog</name>
    <message>
        <source>输出路径:</source>
        <translation>Output folder:</translation>
    </message>
    <message>
        <source>请选择存储路径</source>
        <translation>Choose where to save</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>dudorazu::shell::SearchDiskDialog</name>
    <message>
        <source>扫描丢失磁盘分区</source>
        <translation>Find lost partitions</translation>
    </message>
    <message>
        <source>每 1 MB 边界与柱面起点，最快</source>
        <translation>Every 1 MB boundary and cylinder start; the fastest</translation>
    </message>
    <message>
        <source>磁头数:</source>
        <translation>Heads:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>dudorazu::shell::SearchResults</name>
    <message>
        <source>查找结果</source>
        <translation>Search results</translation>
    </message>
    <message>
        <source>恢复选中文件</source>
        <translation>Recover ticked files</translation>
    </message>
    <message>
        <source>找到 %1 个文件或文件夹，双击一行可在其所在文件夹中查看。</source>
        <translation>%1 files or folders found; double-click a row to see it in its folder.</translation>
    </message>
</context>
<context>
    <name>dudorazu::shell::SplashScreen</name>
    <message>
        <source>exFAT 数据恢复</source>
        <translation>exFAT data recovery</translation>
    </message>
</context>
<context>
    <name>dudorazu::shell::TableOperationDialog</name>
    <message>
        <source>分区表操作</source>
        <translation>Partition table</translation>
    </message>
    <message>
        <source>分区表备份</source>
        <translation>Back up partition table</translation>
    </message>
    <message>
        <source>分区表恢复</source>
        <translation>Restore partition table</translation>
    </message>
    <message>
        <source>分区表重建</source>
        <translation>Rebuild partition table</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>dudorazu::widgets::BlockMapView</name>
    <message>
        <source>块图</source>
        <translation>Block map</translation>
    </message>
    <message>
        <source>绿色：已复制；灰色：未读取；黄色：待修边；橙色：待逐扇区读取；红色：无法读取</source>
        <translation>Green: copied; grey: not read yet; yellow: to be trimmed; orange: to be read sector by sector; red: unreadable</translation>
    </message>
</context>
<context>
    <name>dudorazu::widgets::FolderTreeModel</name>
    <message>
        <source>此文件夹中没有可完整恢复的文件</source>
        <translation>No file in this folder can be recovered whole</translation>
    </message>
</context>
<context>
    <name>dudorazu::widgets::PropertiesModel</name>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Value</source>
        <translation>Value</translation>
    </message>
</context>
<context>
    <name>dudorazu::widgets::TextProgressBar</name>
    <message>
        <source>等待...</source>
        <translation>Waiting...</translation>
    </message>
</context>
</TS>
