#pragma once
// A fixture for the core's own files in a fresh home: blocks handed to the
// core as the plug-in hands them, read back as its JSON lines; and one for
// the report queue's archive in that home.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/HArchiveFile.h"
#include "host/HDataCenter.h"
#include "tests/support/TestHome.h"

namespace tidewell_test {

class CoreFilesTest : public ::testing::Test {
 protected:
  using Block = std::vector<ARPSpoofingReport_Local>;

  void TearDown() override {
    HDataCenter::set_core_hook(nullptr);
    HDataCenter::set_core_accepts(true);
  }
  std::vector<std::string> reports() const { return home.reports(); }
  static int deliver(Block& block) {
    int result = -1;
    HDataCenter::report_void_to_core(L"NetSecurity", L"AntiARPSpoofing", &block, 0, result);
    return result;
  }
  // A gateway binding record as the guard writes it.
  static ARPSpoofingReport_Local bind_record() {
    ARPSpoofingReport_Local r;
    r.strPolicyID = L"p1";
    r.iAttackType = 1;
    r.str_desc = L"AntiARP_RP_ARP_BIND";
    r.mapDesc[L"mac"] = L"02:00:00:00:00:66";
    r.mapDesc[L"macb"] = L"02:00:00:00:00:01";
    r.mapDesc[L"ipb"] = L"10.77.0.1";
    return r;
  }

  TestHome home;
};

// The archive as the plug-in names it, of the plug-in's version.
class ArchiveFileTest : public CoreFilesTest {
 protected:
  void SetUp() override {
    file.set_name(L"arc_file\\his_arp_attack");
    file.get_mem().set_version(173);
  }
  std::string path() const { return home.file("arc_file/his_arp_attack"); }

  HArchiveFile file;
};

}  // namespace tidewell_test
