// Field names of the six cache statistic types, in the order of the values in
// their records. Every list begins with the five fixed fields (type number,
// time, process name, process id, session id); the four process kinds then share
// the 36 common counters before their own.
#pragma once

const int SHRPC_CTR_COUNT = 159;  // shared cache monitor: 137 32-bit values, then 19 64-bit
const int KPR_CTR_COUNT = 307;    // keeper: 239 32-bit values, then 65 64-bit
const int PGSVR_CTR_COUNT = 74;   // page server: 71 32-bit values
const int ENVOY_CTR_COUNT = 228;  // envoy: 169 32-bit values, then 56 64-bit
const int TALLY_CTR_COUNT = 6;    // the monitor itself; the application counters use the first 5

extern const char* const shrpcCtrNames[SHRPC_CTR_COUNT];
extern const char* const kprCtrNames[KPR_CTR_COUNT];
extern const char* const pgsvrCtrNames[PGSVR_CTR_COUNT];
extern const char* const envoyCtrNames[ENVOY_CTR_COUNT];
extern const char* const tallyCtrNames[TALLY_CTR_COUNT];
