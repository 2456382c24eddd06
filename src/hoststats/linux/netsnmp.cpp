#include "hoststats/linux/netsnmp.h"

#include <cerrno>
#include <cstring>

namespace {

// Counters of the Tcp section.
struct TcpCounter {
  const char* key;
  uint32_t KstatTcpMib::*field;
};
const TcpCounter kTcpCounters[] = {
    {"ActiveOpens", &KstatTcpMib::tcpActiveOpens}, {"PassiveOpens", &KstatTcpMib::tcpPassiveOpens},
    {"AttemptFails", &KstatTcpMib::tcpAttemptFails}, {"EstabResets", &KstatTcpMib::tcpEstabResets},
    {"CurrEstab", &KstatTcpMib::tcpCurrEstab},     {"InSegs", &KstatTcpMib::tcpInSegs},
    {"OutSegs", &KstatTcpMib::tcpOutSegs},         {"RetransSegs", &KstatTcpMib::tcpRetransSegs}};

// Counters of the TcpExt section: the sum of one or two of its entries.
struct TcpExtCounter {
  uint32_t KstatTcpMib::*field;
  const char* key;
  const char* plus;  // null: none
};
const TcpExtCounter kTcpExtCounters[] = {
    {&KstatTcpMib::tcpOutAckDelayed, "DelayedACKs", nullptr},
    {&KstatTcpMib::tcpInAckSegs, "TCPPureAcks", "TCPHPAcks"},
    {&KstatTcpMib::tcpTimRetrans, "TCPTimeouts", nullptr},
    {&KstatTcpMib::tcpTimRetransDrop, "TCPAbortOnTimeout", nullptr},
    {&KstatTcpMib::tcpTimKeepaliveProbe, "TCPKeepAlive", nullptr},
    {&KstatTcpMib::tcpListenDrop, "ListenOverflows", nullptr},
    {&KstatTcpMib::tcpListenDropQ0, "TCPReqQFullDoCookies", "TCPReqQFullDrop"},
    {&KstatTcpMib::tcpHalfOpenDrop, "TCPReqQFullDrop", nullptr}};


}  // namespace

bool parseProcSnmpSection(const std::string& text, const char* prefix, ProcKeyValues* out, std::string* error) {
  std::string tag = std::string(prefix) + ":";
  std::vector<TextView> lines = splitTextLines(text);
  std::vector<TextView> names, values;
  for (size_t i = 0; i + 1 < lines.size(); i++) {
    splitTokens(lines[i], &names, 1);
    if (names.empty() || !names[0].is(tag.c_str())) continue;
    splitTokens(lines[i], &names);
    splitTokens(lines[i + 1], &values);
    if (values.empty() || !values[0].is(tag.c_str()) || values.size() != names.size()) {
      *error = lineRef(i + 1) + ": the " + prefix + " value line does not match its name line";
      return false;
    }
    for (size_t k = 1; k < names.size(); k++) {
      const TextView& v = values[k];
      uint64_t x;
      bool neg = v.size() > 0 && v.begin[0] == '-';
      if (!parseU64({v.begin + (neg ? 1 : 0), v.end}, &x)) {
        *error = lineRef(i + 1) + ": bad value \"" + v.str() + "\" for " + prefix + " " + names[k].str();
        return false;
      }
      setEntry(out, k - 1, names[k], neg ? (uint64_t)(0 - x) : x);
    }
    out->resize(names.size() - 1);
    return true;
  }
  *error = std::string("no \"") + prefix + ":\" lines";
  return false;
}

bool readTcpCounters(ProcFiles& files, ProcKeyValues* tcp, ProcKeyValues* ext, KstatTcpMib* out, ProcError* error) {
  const char* snmp = "/proc/net/snmp";
  const char* netstat = "/proc/net/netstat";
  std::string what;
  const std::string* text = files.read(snmp, true, error);
  if (text == nullptr) return false;
  if (!parseProcSnmpSection(*text, "Tcp", tcp, &what)) return files.parseFailed(snmp, what, error);
  if ((text = files.read(netstat, true, error)) == nullptr) return false;
  if (!parseProcSnmpSection(*text, "TcpExt", ext, &what)) return files.parseFailed(netstat, what, error);

  KstatTcpMib m;
  memset(&m, 0, sizeof m);
  for (const TcpCounter& c : kTcpCounters) {
    uint64_t v;
    if (!procLookup(*tcp, c.key, &v, &what)) return files.parseFailed(snmp, "Tcp: " + what, error);
    m.*c.field = (uint32_t)v;
  }
  // TcpExt counters come and go with kernel versions: absent ones are 0.
  for (const TcpExtCounter& c : kTcpExtCounters)
    m.*c.field = (uint32_t)procLookupOptional(*ext, c.key) + (c.plus ? (uint32_t)procLookupOptional(*ext, c.plus) : 0);
  *out = m;
  return true;
}
