#include "extract.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace tallyread {

std::string formatNumber(double value) {
  char text[64];
  if (std::fabs(value) < 9007199254740992.0 && value == std::floor(value)) {
    snprintf(text, sizeof text, "%.0f", value);
    return text;
  }
  snprintf(text, sizeof text, "%.3f", value);
  std::string shown = text;
  while (shown.back() == '0') shown.pop_back();
  if (shown.back() == '.') shown.pop_back();
  return shown;
}

std::string formatFloat(double value) {
  char text[64];
  for (int digits = 1; digits <= 9; digits++) {
    snprintf(text, sizeof text, "%.*g", digits, value);
    if ((float)strtod(text, nullptr) == (float)value) break;
  }
  return text;
}

// A sub-second archive counts samples from the second sampling began: each
// header starts a new count.
double Extractor::realTime(const SeriesRecord& record) {
  double stamp = record.record.time;
  if (!_options.intervalMs) return stamp;
  if (record.headerSerial != _baseSerial) {
    _baseSerial = record.headerSerial;
    _baseStamp = stamp;
  }
  return _baseStamp + (stamp - _baseStamp) * *_options.intervalMs / 1000.0;
}

// The cells of a choice, made once: their names and catalogue entries, and
// how each one's value is found.
Extractor::Kept& Extractor::keptFor(const FieldChoice& choice) {
  auto found = _kept.find(&choice);
  if (found != _kept.end()) return found->second;
  Kept& kept = _kept[&choice];
  for (size_t i = 0; i < choice.positions.size(); i++) {
    Cell cell;
    cell.name = &choice.names[i];
    cell.info = choice.infos[i];
    Plan plan{choice.positions[i], Plan::Value};
    if (_options.rate && cell.info && cell.info->kind == FieldKind::RunningTotal)
      plan.how = Plan::Rate;
    else if (plan.position < 3 || (cell.info && cell.info->kind == FieldKind::Text))
      plan.how = Plan::Token;  // the type number, time stamp or instance asked for by number, or text
    else if (cell.info && cell.info->kind == FieldKind::FloatPattern)
      plan.how = Plan::Float;
    kept.cells.push_back(cell);
    kept.plan.push_back(plan);
  }
  return kept;
}

void Extractor::fillCells(const std::vector<Plan>& plans, const ArchiveRecord& read,
                          const PreviousRecords::Entry* previous, double time, std::vector<Cell>* cells) const {
  const bool text = _options.text;
  const size_t count = read.tokenCount();
  // The previous record, read once for all cells.
  const bool seen = previous && previous->seen;
  const double seconds = seen ? time - previous->time : 0;
  const ArchiveNumber* earlier = seen ? previous->numbers.data() : nullptr;
  const size_t earlierCount = seen ? previous->numbers.size() : 0;
  for (size_t i = 0; i < plans.size(); i++) {
    Cell& cell = (*cells)[i];
    const Plan& plan = plans[i];
    size_t position = plan.position;
    cell.value.reset();
    if (text) cell.text.clear();
    cell.isRate = plan.how == Plan::Rate && position < count;
    if (position >= count) continue;
    // Every value after the instance is a number the reader has read.
    const ArchiveNumber& number = read.numbers[position];
    switch (plan.how) {
      case Plan::Rate:
        if (position < earlierCount) {
          const ArchiveNumber& before = earlier[position];
          // The common case of ratePerSecond at hand: a 32-bit total that grew.
          if (!cell.info->wide && !before.negative && !number.negative && number.magnitude >= before.magnitude &&
              number.magnitude <= UINT32_MAX && seconds > 0)
            cell.value = (double)(number.magnitude - before.magnitude) / seconds;
          else
            cell.value = ratePerSecond(before, number, seconds, cell.info->wide);
        }
        if (cell.value && text) cell.text = formatNumber(*cell.value);
        continue;
      case Plan::Token:  // an identifier asked for by number, or text: no value
        break;
      case Plan::Float:
        cell.value = number.negative ? std::optional<double>(number.asDouble()) : floatFromPattern(number.magnitude);
        if (text && cell.value) {
          cell.text = formatFloat(*cell.value);
          continue;
        }
        break;
      case Plan::Value:
        cell.value = number.asDouble();
        break;
    }
    if (text) cell.text = read.token(position);
  }
}

bool Extractor::next(ShownRecord* out) {
  // Each choice of fields keeps its own cells, so that records of types that
  // take turns reuse their cells instead of building them again.
  if (_lastKept) out->cells.swap(_lastKept->cells);
  _lastKept = nullptr;
  while (_series.next(&_record)) {
    if (!_options.intervalMs) _stampClock.add(_record);
    if (!_record.type) continue;
    const FieldChoice& choice = _selection.choose(_record.headerSerial, *_record.type);
    if (!choice.typeSelected) continue;
    const ArchiveRecord& read = _record.record;
    std::string_view instance = read.instance();
    if (!_selection.instanceMatches(instance)) continue;
    double time = realTime(_record);
    // Several processes may share a name: a record follows the previous one of
    // the same name and process id. The previous record is kept also outside
    // the time range, so that the first rate inside it has its interval.
    std::string_view processId = read.tokenCount() > 3 ? read.token(3) : std::string_view("0");
    PreviousRecords::Entry* previous = nullptr;
    if (_options.rate) {
      _key.assign(instance).append(1, '\0').append(processId);
      previous = &_previous.at(_record.type->name, _key);
    }
    if (previous && previous->headerSerial != _record.headerSerial) {
      // A new header may describe the type with other fields: a value is
      // only compared with the value of the same field.
      if (previous->fields != _record.type->fields) {
        previous->seen = false;
        previous->fields = _record.type->fields;
      }
      previous->headerSerial = _record.headerSerial;
    }
    bool shown = _selection.timeMatches(time);
    if (shown) {
      out->time = time;
      out->type = _record.type;
      out->header = _record.header;
      Kept& kept = keptFor(choice);
      out->cells.swap(kept.cells);
      _lastKept = &kept;
      fillCells(kept.plan, read, previous, time, &out->cells);
    }
    if (shown) {
      // The instance and process id must outlive the keeping below.
      _instance = instance;
      _processId = processId;
      out->instance = &_instance;
      out->processId = &_processId;
      out->series = previous ? previous->number : 0;
    }
    if (previous) PreviousRecords::keep(*previous, time, _record.record);
    if (shown) return true;
  }
  for (const std::string& message : _stampClock.findings(time(nullptr))) {
    _stampsCountSamples = true;
    _series.note(message);
  }
  _stampClock = StampClock();
  return false;
}

}  // namespace tallyread
