#include "summarypass.h"

#include <ctime>

#include "fieldcatalogue.h"
#include "rates.h"

namespace tallyread {

namespace {
const size_t FIRST_VALUE = 3;  // after the type number, the time and the instance
}

// How the fields chosen of a type are summarised under one header.
struct SummaryPass::TypePlan {
  const ArchiveType* type = nullptr;  // valid while its header is the series' current one
  size_t headerSerial = 0;
  bool selected = false;
  int runCountField = -1;  // SchedulerRunCount's place, for the stamp clock
  struct Cell {
    size_t position;
    enum How { Rate, Token, Float, Value } how;
    const std::string* name;
    const FieldInfo* info;
  };
  std::vector<Cell> cells;  // as the Extractor's cells of the choice
};

// A type (by name), instance and process id: its previous record and where
// its values go.
struct SummaryPass::Group {
  std::string typeName, instance, processId;
  bool instanceSelected = false;
  // Under the header version last met: the type number, its plan, and the
  // instance and process id as last written (to know the group again).
  size_t version = 0;
  uint64_t typeId = 0;
  TypePlan* plan = nullptr;
  std::string identity;
  Group* next = nullptr;  // the group whose record followed this one's last time
  // The previous record, as PreviousRecords keeps it.
  bool seen = false;
  size_t headerSerial = 0;
  std::vector<std::string> fields;
  double time = 0;
  std::vector<ArchiveNumber> numbers;
  size_t count = 0;
  // The figures its values go to, made for a plan (null: not yet made).
  const TypePlan* layout = nullptr;
  struct Action {
    size_t position;
    bool wide;
    FieldStats* figures;
  };
  std::vector<Action> values, floats, rates;
};

SummaryPass::SummaryPass(Series& series, Selection& selection, std::optional<double> intervalMs,
                         SummaryStats* stats)
    : _series(series), _selection(selection), _intervalMs(intervalMs), _stats(stats) {}

SummaryPass::~SummaryPass() = default;

void SummaryPass::run() {
  Series::Line line;
  while (_series.nextLine(&line)) take(line);
  for (const std::string& message : _stampClock.findings(time(nullptr))) _series.note(message);
  _stampClock = StampClock();
}

void SummaryPass::take(const Series::Line& line) {
  _version = _series.headerVersion();
  if (line.endedByNewline && takeScanned(line)) return;
  // Anything but the usual shape is read, or reported, by the series.
  if (!_series.readLine(line, &_record)) return;
  const ArchiveRecord& read = _record.record;
  Record record;
  ScannedRecord& scanned = record.scanned;
  scanned.typeId = read.typeId;
  scanned.time = read.time;
  scanned.count = read.tokenCount();
  scanned.instance = read.instance();
  scanned.processId = scanned.count > 3 ? read.token(3) : std::string_view("0");
  const std::string_view last = scanned.count > 3 ? read.token(3) : scanned.instance;
  const char* identityEnd = last.data() + last.size();
  scanned.identity = std::string_view(scanned.instance.data(), (size_t)(identityEnd - scanned.instance.data()));
  record.type = _record.type;
  record.path = _record.path;
  record.headerSerial = _record.headerSerial;
  record.numbers = &_record.record.numbers;
  Group* group = predicted(scanned);
  add(group ? *group : groupFor(record), record);
}

// A record of the usual shape: scanned in place, its type and group found
// through the record before. FALSE for a line the series must read.
bool SummaryPass::takeScanned(const Series::Line& line) {
  Record record;
  if (!scanRecord(line.text, &_numbers, &record.scanned)) return false;
  const size_t count = record.scanned.count;
  Group* group = predicted(record.scanned);
  record.type = group ? group->plan->type : _series.header().typeById(record.scanned.typeId);
  if (!record.type) return false;
  const size_t fieldCount = record.type->fields.size();
  if (record.type->openEnded ? count < fieldCount : count != fieldCount) return false;
  _series.locate(&record.path, &record.headerSerial);
  record.numbers = &_numbers;
  add(group ? *group : groupFor(record), record);
  return true;
}

// The group that followed the group of the record before last time, when the
// record is of it.
SummaryPass::Group* SummaryPass::predicted(const ScannedRecord& scanned) {
  Group* group = _last ? _last->next : nullptr;
  if (group && group->version == _version && group->typeId == scanned.typeId && group->identity == scanned.identity)
    return group;
  return nullptr;
}

SummaryPass::Group& SummaryPass::groupFor(const Record& record) {
  const ScannedRecord& scanned = record.scanned;
  // Keyed as PreviousRecords keys its entries.
  _key.assign(record.type->name).append(1, '\0').append(scanned.instance).append(1, '\0').append(scanned.processId);
  std::unique_ptr<Group>& place = _groups[_key];
  if (!place) {
    place.reset(new Group());
    place->typeName = record.type->name;
    place->instance = scanned.instance;
    place->processId = scanned.processId;
    place->instanceSelected = _selection.instanceMatches(scanned.instance);
  }
  Group& group = *place;
  group.version = _version;
  group.typeId = scanned.typeId;
  group.plan = &planFor(*record.type, record.headerSerial);
  group.identity.assign(scanned.identity);
  if (_last) _last->next = &group;
  return group;
}

SummaryPass::TypePlan& SummaryPass::planFor(const ArchiveType& type, size_t headerSerial) {
  TypePlan*& place = _planIndex[std::make_pair(_version, type.id)];
  if (place) return *place;
  _plans.emplace_back();
  TypePlan& plan = _plans.back();
  place = &plan;
  plan.type = &type;
  plan.headerSerial = headerSerial;
  plan.runCountField = type.fieldIndex("SchedulerRunCount");
  const FieldChoice& choice = _selection.choose(headerSerial, type);
  plan.selected = choice.typeSelected;
  // As the Extractor plans its cells (with rates).
  for (size_t i = 0; i < choice.positions.size(); i++) {
    TypePlan::Cell cell{choice.positions[i], TypePlan::Cell::Value, &choice.names[i], choice.infos[i]};
    if (cell.info && cell.info->kind == FieldKind::RunningTotal)
      cell.how = TypePlan::Cell::Rate;
    else if (cell.position < FIRST_VALUE || (cell.info && cell.info->kind == FieldKind::Text))
      cell.how = TypePlan::Cell::Token;
    else if (cell.info && cell.info->kind == FieldKind::FloatPattern)
      cell.how = TypePlan::Cell::Float;
    plan.cells.push_back(cell);
  }
  return plan;
}

double SummaryPass::realTime(size_t headerSerial, uint32_t stamp) {
  double seconds = stamp;
  if (!_intervalMs) return seconds;
  if (headerSerial != _baseSerial) {
    _baseSerial = headerSerial;
    _baseStamp = seconds;
  }
  return _baseStamp + (seconds - _baseStamp) * *_intervalMs / 1000.0;
}

// The Extractor's steps for one record, then SummaryStats::add's.
void SummaryPass::add(Group& group, Record& record) {
  _last = &group;
  const ScannedRecord& scanned = record.scanned;
  const TypePlan& plan = *group.plan;
  std::vector<ArchiveNumber>& numbers = *record.numbers;
  if (!_intervalMs)
    _stampClock.add(record.path, _series.header(), record.headerSerial, scanned.time, numbers.data(), scanned.count,
                    plan.runCountField);
  if (!plan.selected || !group.instanceSelected) return;
  double time = realTime(record.headerSerial, scanned.time);
  if (group.headerSerial != record.headerSerial) {
    // A new header may describe the type with other fields: a value is only
    // compared with the value of the same field.
    if (group.fields != plan.type->fields) {
      group.seen = false;
      group.fields = plan.type->fields;
    }
    group.headerSerial = record.headerSerial;
  }
  if (_selection.timeMatches(time) && !plan.cells.empty()) {
    if (group.layout != &plan) makeActions(group, plan, scanned.count);
    accumulate(group, numbers.data(), scanned.count, time);
  }
  // The record becomes the previous one; its vector takes the old numbers.
  group.seen = true;
  group.time = time;
  group.count = scanned.count;
  group.numbers.swap(numbers);
}

// Where the values of the group's records go under a plan, made as
// SummaryStats::add makes its slots, in the order of the cells.
void SummaryPass::makeActions(Group& group, const TypePlan& plan, size_t count) {
  group.layout = &plan;
  group.values.clear();
  group.floats.clear();
  group.rates.clear();
  for (const TypePlan::Cell& cell : plan.cells) {
    bool isRate = cell.how == TypePlan::Cell::Rate && cell.position < count;
    FieldStats* figures =
        _stats->figures(group.typeName, group.instance, group.processId, *cell.name, cell.info, isRate);
    if (!figures) continue;
    Group::Action action{cell.position, cell.info && cell.info->wide, figures};
    if (cell.how == TypePlan::Cell::Value) group.values.push_back(action);
    if (cell.how == TypePlan::Cell::Float) group.floats.push_back(action);
    if (cell.how == TypePlan::Cell::Rate) group.rates.push_back(action);
  }
}

void SummaryPass::accumulate(const Group& group, const ArchiveNumber* numbers, size_t count, double time) const {
  for (const Group::Action& action : group.values)
    if (action.position < count) action.figures->add(numbers[action.position].asDouble());
  for (const Group::Action& action : group.floats) {
    if (action.position >= count) continue;
    const ArchiveNumber& number = numbers[action.position];
    std::optional<double> value =
        number.negative ? std::optional<double>(number.asDouble()) : floatFromPattern(number.magnitude);
    if (value) action.figures->add(*value);
  }
  // A rate needs the previous record and time that advanced.
  const double seconds = group.seen ? time - group.time : 0;
  if (!(seconds > 0)) return;
  const ArchiveNumber* earlier = group.numbers.data();
  const size_t earlierCount = group.count;
  for (const Group::Action& action : group.rates) {
    if (action.position >= count || action.position >= earlierCount) continue;
    std::optional<double> value = ratePerSecond(earlier[action.position], numbers[action.position], seconds, action.wide);
    if (value) action.figures->add(*value);
  }
}

}  // namespace tallyread
