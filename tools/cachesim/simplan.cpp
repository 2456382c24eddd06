#include "simplan.h"

namespace {

SimSlot live(unsigned kind, const std::string& name, int session) {
  SimSlot s;
  s.inUse = true;
  s.kind = kind;
  s.name = name.substr(0, 31);
  s.sessionId = session;
  s.needsChild = true;
  return s;
}

}  // namespace

std::vector<SimSlot> SimPlanSlots(const SimOptions& opts) {
  std::vector<SimSlot> slots;
  slots.push_back(live(1, "cachewarden", -1));
  slots.push_back(live(2, opts.keeperName, -1));
  for (int i = 0; i < opts.pageMgrThreads; i++)
    slots.push_back(live(2, i == 0 ? "pagemgrThread" : "pagemgrThread" + std::to_string(i), -1));
  for (int i = 0; i < opts.pgsvrs; i++)
    slots.push_back(live(4, (i % 2 ? "Aio pgsvr " : "AioPgsvr") + std::to_string(i), -1));
  for (int i = 0; i < opts.otherPgsvrs; i++) slots.push_back(live(4, "RemotePgsvr" + std::to_string(i), -1));
  if (opts.oddSlots) {
    SimSlot notInUse = live(8, "envoyIdle", 2);
    notInUse.inUse = false;
    slots.push_back(notInUse);
    SimSlot pidZero = live(4, "AioIdle", -1);
    pidZero.needsChild = false;
    pidZero.fixedPid = 0;
    slots.push_back(pidZero);
    SimSlot gone = live(8, "envoyGone", -1);
    gone.needsChild = false;
    gone.fixedPid = -1;
    slots.push_back(gone);
  }
  int sessions = opts.envoySessions > 0 ? opts.envoySessions : (opts.envoys > 0 ? opts.envoys : 1);
  for (int i = 0; i < opts.envoys; i++) slots.push_back(live(8, "envoy" + std::to_string(i), 2 + i % sessions));
  for (int i = 0; i < opts.freeSlots; i++) slots.push_back(SimSlot());
  return slots;
}
