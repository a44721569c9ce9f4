// A failing disk for the rescue benchmark: a FUSE file system holding one
// file, disk.img, whose bytes come from a backing file but whose reads fail,
// stall or succeed only later, as a pattern file says. Every read is logged
// (wall-clock time, offset, length, ok) so the benchmark can tell when each tool had
// its data and how often it read into bad areas.
//
//   failing_disk BACKING PATTERN LOG MOUNTPOINT [fuse options]
//
// PATTERN lines, positions in bytes, ranges half-open:
//   bad START END                  every read touching it fails
//   flaky START END N              reads touching it fail N times, then succeed
//   slow START END MS              reads touching it take MS milliseconds
//   degrade START END MS STEP MAX  a read touching it takes MS + STEP * (reads so far) milliseconds per
//                                  MiB read, the rate falling no further than MAX milliseconds per MiB
//   backward START END             reads touching it succeed only below the previous read
#define FUSE_USE_VERSION 31
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

enum kind { BAD, FLAKY, SLOW, DEGRADE, BACKWARD };
struct rule {
  enum kind kind;
  uint64_t start, end;
  long a, b, c;  // N; MS; MS, STEP, MAX
  long count;
};

static struct rule rules[4096];
static int nrules;
static int backing = -1;
static uint64_t size;
static FILE *logfile;
static uint64_t last_offset = UINT64_MAX;

// Wall-clock seconds, so the benchmark can set each read against a tool's start.
static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_REALTIME, &t);
  return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

static int disk_getattr(const char *path, struct stat *st, struct fuse_file_info *fi) {
  (void)fi;
  memset(st, 0, sizeof *st);
  if (strcmp(path, "/") == 0) {
    st->st_mode = S_IFDIR | 0555;
    st->st_nlink = 2;
    return 0;
  }
  if (strcmp(path, "/disk.img") != 0) return -ENOENT;
  st->st_mode = S_IFREG | 0444;
  st->st_nlink = 1;
  st->st_size = (off_t)size;
  return 0;
}

static int disk_readdir(const char *path, void *buf, fuse_fill_dir_t fill, off_t off, struct fuse_file_info *fi,
                        enum fuse_readdir_flags flags) {
  (void)off, (void)fi, (void)flags;
  if (strcmp(path, "/") != 0) return -ENOENT;
  fill(buf, ".", NULL, 0, 0);
  fill(buf, "..", NULL, 0, 0);
  fill(buf, "disk.img", NULL, 0, 0);
  return 0;
}

static int disk_open(const char *path, struct fuse_file_info *fi) {
  if (strcmp(path, "/disk.img") != 0) return -ENOENT;
  if ((fi->flags & O_ACCMODE) != O_RDONLY) return -EACCES;
  fi->direct_io = 1;  // every read reaches us as the tool asked for it
  return 0;
}

static int disk_read(const char *path, char *buf, size_t length, off_t offset, struct fuse_file_info *fi) {
  (void)path, (void)fi;
  const uint64_t off = (uint64_t)offset;
  if (off >= size) return 0;
  if (length > size - off) length = (size_t)(size - off);
  const uint64_t end = off + length;
  int fails = 0;
  long wait = 0;
  for (int i = 0; i < nrules; ++i) {
    struct rule *r = &rules[i];
    if (!(off < r->end && r->start < end)) continue;
    switch (r->kind) {
      case BAD: fails = 1; break;
      case FLAKY:
        if (r->count < r->a) ++r->count, fails = 1;
        break;
      case SLOW: wait += r->a; break;
      case DEGRADE: {
        // The area's rate falls with every read; a sector read stays short.
        long per_mib = r->a + r->b * r->count++;
        if (per_mib > r->c) per_mib = r->c;
        wait += (long)((double)per_mib * (double)length / 1048576.0);
        break;
      }
      case BACKWARD:
        if (!(last_offset != UINT64_MAX && off < last_offset)) fails = 1;
        break;
    }
  }
  last_offset = off;
  if (wait) {
    struct timespec t = {wait / 1000, (wait % 1000) * 1000000L};
    nanosleep(&t, NULL);
  }
  ssize_t got = fails ? -1 : pread(backing, buf, length, offset);
  fprintf(logfile, "%.6f %" PRIu64 " %zu %d\n", now(), off, length, got == (ssize_t)length);
  if (got < 0) return -EIO;
  return (int)got;
}

static void *disk_init(struct fuse_conn_info *conn, struct fuse_config *cfg) {
  (void)conn;
  cfg->direct_io = 1;
  cfg->kernel_cache = 0;
  return NULL;
}

static void disk_destroy(void *data) {
  (void)data;
  fflush(logfile);
}

static const struct fuse_operations operations = {
    .getattr = disk_getattr,
    .readdir = disk_readdir,
    .open = disk_open,
    .read = disk_read,
    .init = disk_init,
    .destroy = disk_destroy,
};

int main(int argc, char **argv) {
  if (argc < 5) {
    fprintf(stderr, "usage: %s BACKING PATTERN LOG MOUNTPOINT [fuse options]\n", argv[0]);
    return 2;
  }
  backing = open(argv[1], O_RDONLY);
  struct stat st;
  if (backing < 0 || fstat(backing, &st) != 0) return perror(argv[1]), 1;
  size = (uint64_t)st.st_size;
  FILE *pattern = fopen(argv[2], "r");
  if (!pattern) return perror(argv[2]), 1;
  char line[256], word[16];
  while (fgets(line, sizeof line, pattern) && nrules < 4096) {
    struct rule r = {0};
    if (sscanf(line, "%15s %" SCNu64 " %" SCNu64 " %ld %ld %ld", word, &r.start, &r.end, &r.a, &r.b, &r.c) < 3)
      continue;
    if (strcmp(word, "bad") == 0) r.kind = BAD;
    else if (strcmp(word, "flaky") == 0) r.kind = FLAKY;
    else if (strcmp(word, "slow") == 0) r.kind = SLOW;
    else if (strcmp(word, "degrade") == 0) r.kind = DEGRADE;
    else if (strcmp(word, "backward") == 0) r.kind = BACKWARD;
    else continue;
    rules[nrules++] = r;
  }
  fclose(pattern);
  logfile = fopen(argv[3], "w");
  if (!logfile) return perror(argv[3]), 1;
  setvbuf(logfile, NULL, _IOFBF, 1 << 20);
  // fuse_main sees the program name, the mount point and the options.
  argv[3] = argv[0];
  return fuse_main(argc - 3, argv + 3, &operations, NULL);
}
