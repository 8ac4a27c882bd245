#pragma once
// Delivers report vectors to the agent core, oldest first, and keeps those
// the core refused in a bounded queue mirrored into an archive file. Every
// non-empty vector is given a block id when it is reported, kept with it in
// the archive, so that the core writes each block once even when a kill
// comes between its write and the archive's rewrite.
#include <list>
#include <vector>

#include "host/ARPSpoofingReport_Local.h"
#include "host/HArchiveFile.h"
#include "host/HIEUtil.h"
#include "host/HString.h"

typedef std::vector<ARPSpoofingReport_Local> ReportVector;

class HAuditReportMgr {
 public:
  HAuditReportMgr() = default;

  int init(const HString& plug_name, const HString& cata_name, const HString& arc_file, int arc_ver,
           int max_record);
  int report(ReportVector* p_report);
  int write_arc();
  int read_arc();

  // For tests and the agent's summary.
  size_t queued() const;
  int max_record() const { return i_max_record; }

 private:
  int push_back(ReportVector* p_report);
  int deliver(ReportVector& entry);
  int deliver_queue(bool& b_refused);
  void read_entries(int count);
  int read_entry(ReportVector& entry);
  // The queue and its archive form change together.
  void queue_append(const ReportVector& entry);
  void queue_pop_front();
  void queue_clear();
  std::vector<unsigned char> archive_form(const ReportVector& entry);

  bool b_init = false;
  std::list<ReportVector> lt_vt_report_stack;
  HIEUtil::RecMutex rec_mutex;
  HArchiveFile arc_file;
  HString str_plug_name;
  HString str_cata_name;
  HString str_arc_file;
  int i_arc_ver = 0;
  int i_max_record = 0;
  // Every queued entry as write_arc puts it into the archive (block id,
  // record count, then the records), made once when it is queued: the archive is
  // rewritten after every change, and 300 entries must not be serialised
  // anew each time. Same order as lt_vt_report_stack.
  std::list<std::vector<unsigned char>> lt_arc_entry;
  HArchiveMem arc_entry_mem;
};
