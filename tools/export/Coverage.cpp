#include "Coverage.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace vireon {

namespace {

uint64_t ChannelKey(const TLevelRow& row) {
  const uint64_t mode = row.Mode[1] == 'i' ? 0 : row.Mode[1] == 'c' ? 1 : 2;  // single, scan, table
  return static_cast<uint64_t>(row.Receiver) << 40 | mode << 32 |
         static_cast<uint32_t>(row.Channel);
}

int32_t CellIndex(double metres, double cell) {
  return static_cast<int32_t>(std::floor(metres / cell));
}

}  // namespace

void TLevelStats::Add(int dbm) {
  const auto level = static_cast<int16_t>(dbm);
  if (N == 0 || level > High) High = level;
  if (N == 0 || level < Low) Low = level;
  ++N;
  SumMw += std::pow(10.0, dbm / 10.0);
}

double TLevelStats::MeanDbm() const {
  return 10 * std::log10(SumMw / N);
}

void TCellLevels::Widen(int dbm) {
  const int low = std::min(dbm, Levels.Min()), high = std::max(dbm, Levels.Max());
  auto counts = std::make_unique<uint32_t[]>(static_cast<size_t>(high - low + 1));
  if (Counts)
    std::copy_n(Counts.get(), Levels.Max() - Levels.Min() + 1, counts.get() + Levels.Min() - low);
  else
    counts[static_cast<size_t>(Levels.Min() - low)] = Levels.Count();
  Counts = std::move(counts);
}

void TCellLevels::Add(int dbm, const std::optional<int64_t>& time) {
  const bool inside = Levels.Count() > 0 && dbm >= Levels.Min() && dbm <= Levels.Max();
  if (Levels.Count() > 0 && !inside) Widen(dbm);
  Levels.Add(dbm);
  if (Counts) ++Counts[static_cast<size_t>(dbm - Levels.Min())];
  if (time && *time > 0 && *time <= UINT32_MAX) {
    const auto t = static_cast<uint32_t>(*time);
    if (First == kNoTime || t < First) First = t;
    if (Last == kNoTime || t > Last) Last = t;
  }
}

double TCellLevels::MedianDbm() const {
  // The levels in order are numbered 0..n-1; the median is the mean of those numbered
  // (n-1)/2 and n/2.
  if (!Counts) return Levels.Max();
  const uint32_t n = Levels.Count();
  const uint32_t lowRank = (n - 1) / 2, highRank = n / 2;
  std::optional<int> low;
  uint32_t seen = 0;
  for (size_t k = 0; k <= static_cast<size_t>(Levels.Max() - Levels.Min()); ++k) {
    seen += Counts[k];
    const int dbm = Levels.Min() + static_cast<int>(k);
    if (!low && seen > lowRank) low = dbm;
    if (seen > highRank) return (*low + dbm) / 2.0;
  }
  return Levels.Max();
}

std::optional<int64_t> TCellLevels::FirstTime() const {
  return First == kNoTime ? std::nullopt : std::optional<int64_t>(First);
}

std::optional<int64_t> TCellLevels::LastTime() const {
  return Last == kNoTime ? std::nullopt : std::optional<int64_t>(Last);
}

size_t TCellTable::Slot(const TCellKey& key) const {
  const size_t mask = Slots.size() - 1;
  for (size_t slot = TCellHash()(key) & mask;; slot = (slot + 1) & mask)
    if (Slots[slot] == 0 || (*this)[Slots[slot] - 1].first == key) return slot;
}

void TCellTable::Grow() {
  const std::vector<uint32_t> previous =
      std::exchange(Slots, std::vector<uint32_t>(std::max<size_t>(1024, 2 * Slots.size()), 0));
  for (uint32_t number : previous)
    if (number != 0) Slots[Slot((*this)[number - 1].first)] = number;
}

std::pair<TCellTable::value_type*, bool> TCellTable::try_emplace(const TCellKey& key) {
  if (2 * (Count + 1) > Slots.size()) Grow();
  const size_t slot = Slot(key);
  if (Slots[slot] != 0) return {&At(Slots[slot] - 1), false};
  if ((Count & kBlockMask) == 0) Blocks.push_back(std::make_unique<value_type[]>(kBlockMask + 1));
  value_type& cell = At(Count);
  cell.first = key;
  Slots[slot] = static_cast<uint32_t>(++Count);
  return {&cell, true};
}

TCoverage::TCoverage(double cellM, TFixPointSink sink) : CellM(cellM), Sink(std::move(sink)) {}

uint32_t TCoverage::ChannelOf(const TLevelRow& row) {
  std::vector<uint32_t>& ids = ChannelIds[ChannelKey(row)];
  for (uint32_t id : ids)
    if (ChannelList[id].FrequencyMHz == row.FrequencyMHz) return id;
  const auto id = static_cast<uint32_t>(ChannelList.size());
  ChannelList.push_back({row.Receiver, row.Mode, row.Channel, row.FrequencyMHz});
  PointOfChannel.push_back(-1);
  ids.push_back(id);
  return id;
}

void TCoverage::Fix(const TGpsFix& fix, std::optional<std::pair<double, double>> at) {
  HandOnPoints();
  HaveFix = true;
  Current = fix;
  CurrentCell.reset();
  if (at) CurrentCell = {CellIndex(at->first, CellM), CellIndex(at->second, CellM)};
}

void TCoverage::Level(const TLevelRow& row) {
  if (!HaveFix) return;
  const uint32_t id = ChannelOf(row);
  TChannelInfo& channel = ChannelList[id];
  ++channel.Levels;
  int& slot = PointOfChannel[id];
  if (slot < 0) {
    slot = static_cast<int>(Points.size());
    Points.push_back({static_cast<int>(id), {}, {}});
  }
  TFixPoint& point = Points[static_cast<size_t>(slot)];
  point.Levels.Add(row.LevelDbm);
  if (row.FixAgeS && (!point.FixAgeS || *row.FixAgeS > *point.FixAgeS)) point.FixAgeS = row.FixAgeS;
  if (!CurrentCell) {
    ++OutsideGrid;
    return;
  }
  auto [cell, made] = Cells.try_emplace({id, CurrentCell->first, CurrentCell->second});
  if (made) ++channel.Cells;
  cell->second.Add(row.LevelDbm, row.GpsTime);
}

void TCoverage::HandOnPoints() {
  for (const TFixPoint& point : Points) {
    PointOfChannel[static_cast<size_t>(point.ChannelId)] = -1;
    ++ChannelList[static_cast<size_t>(point.ChannelId)].FixPoints;
    ++PointsOut;
    Sink(Current, point);
  }
  Points.clear();
}

void TCoverage::Finish() {
  HandOnPoints();
}

std::vector<uint32_t> TCoverage::SortedCells(bool byPlace) const {
  std::vector<uint32_t> cells(Cells.size());
  for (size_t k = 0; k < Cells.size(); ++k) cells[k] = static_cast<uint32_t>(k);
  std::sort(cells.begin(), cells.end(), [byPlace, this](uint32_t a, uint32_t b) {
    const TCellKey &x = Cells[a].first, &y = Cells[b].first;
    if (!byPlace && x.ChannelId != y.ChannelId) return x.ChannelId < y.ChannelId;
    if (x.Row != y.Row) return x.Row < y.Row;
    return x.Column != y.Column ? x.Column < y.Column : x.ChannelId < y.ChannelId;
  });
  return cells;
}

}  // namespace vireon
