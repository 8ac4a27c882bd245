#include "host/HEventCenter.h"

HEventCenter& HEventCenter::ins() {
  static HEventCenter* center = new HEventCenter;
  return *center;
}
