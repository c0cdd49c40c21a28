// The record-buffer window and navigation. The rules the window keeps are in
// the design notes at the top of dataset_state.cpp.

#include <algorithm>

#include "framework/data_consts.h"
#include "framework/dataset.h"
#include "framework/datasource.h"

namespace tessel {

TRecordBuffer TDataSet::ActiveBuffer() const {
  if (buffers_.empty()) return nullptr;
  return buffers_[static_cast<std::size_t>(active_record_)];
}

TRecordBuffer TDataSet::TempBuffer() const {
  if (buffers_.empty()) return nullptr;
  return buffers_[static_cast<std::size_t>(record_count_)];
}

void TDataSet::SetBufListSize(int size) {
  const auto wanted = static_cast<std::size_t>(size);
  while (buffers_.size() > wanted) {
    TRecordBuffer buffer = buffers_.back();
    buffers_.pop_back();
    FreeRecordBuffer(buffer);
  }
  buffers_.reserve(wanted);
  while (buffers_.size() < wanted) buffers_.push_back(AllocRecordBuffer());
}

void TDataSet::ClearBuffers() {
  record_count_ = 0;
  active_record_ = 0;
  current_record_ = -1;
  bof_ = true;
  eof_ = true;
}

void TDataSet::ActivateBuffers() {
  record_count_ = 1;
  active_record_ = 0;
  current_record_ = 0;
  bof_ = false;
  eof_ = false;
}

// Moves buffer `from` to position `to`; the buffers between shift by one.
void TDataSet::MoveBuffer(int from, int to) {
  if (from == to) return;
  auto begin = buffers_.begin();
  if (from < to) {
    std::rotate(begin + from, begin + from + 1, begin + to + 1);
  } else {
    std::rotate(begin + to, begin + from, begin + from + 1);
  }
}

void TDataSet::AdjustFirstRecords(int delta) {
  if (delta == 0) return;
  for (TDataSource* source : data_sources_) {
    for (TDataLink* link : source->links_) {
      if (link->active_) link->first_record_ += delta;
    }
  }
}

void TDataSet::UpdateBufferCount() {
  if (!IsCursorOpen()) return;
  int wanted = 1;
  for (TDataSource* source : data_sources_) {
    for (TDataLink* link : source->links_) wanted = std::max(wanted, link->buffer_count_);
  }
  SetBufferCount(wanted);
}

void TDataSet::SetBufferCount(int value) {
  if (buffer_count_ == value && !buffers_.empty()) return;
  if (value < buffer_count_ && record_count_ > 0) {
    // Keep the records the active links show (and the active record) at the
    // front of the smaller window.
    int delta = active_record_;
    for (TDataSource* source : data_sources_) {
      for (TDataLink* link : source->links_) {
        if (link->active_) delta = std::min(delta, link->first_record_);
      }
    }
    delta = std::max({delta, active_record_ - value + 1, 0});
    std::rotate(buffers_.begin(), buffers_.begin() + delta, buffers_.end());
    active_record_ -= delta;
    if (current_record_ != -1) current_record_ -= delta;
    record_count_ = std::min(record_count_ - delta, value);
    if (current_record_ < 0 || current_record_ >= record_count_) current_record_ = -1;
    AdjustFirstRecords(-delta);
  }
  SetBufListSize(value + 1);
  buffer_count_ = value;
  GetNextRecords();
  AdjustFirstRecords(GetPriorRecords());
}

void TDataSet::SetCurrentRecord(int index) {
  if (current_record_ == index) return;
  TRecordBuffer buffer = buffers_[static_cast<std::size_t>(index)];
  switch (GetBookmarkFlag(buffer)) {
    case bfCurrent:
    case bfInserted:
      InternalSetToRecord(buffer);
      break;
    case bfBOF:
      InternalFirst();
      break;
    case bfEOF:
      InternalLast();
      break;
  }
  current_record_ = index;
}

void TDataSet::UpdateCursorPos() {
  if (record_count_ > 0) SetCurrentRecord(active_record_);
}

bool TDataSet::GetNextRecord() {
  TGetMode mode = gmNext;
  if (record_count_ > 0) {
    SetCurrentRecord(record_count_ - 1);
    // An inserted record not yet posted sits in the window but not in the
    // cursor, which stands on the record it was inserted before: that record
    // comes next.
    if (state_ == dsInsert && current_record_ == active_record_ &&
        GetBookmarkFlag(ActiveBuffer()) == bfInserted) {
      mode = gmCurrent;
    }
  }
  if (GetRecord(buffers_[static_cast<std::size_t>(record_count_)], mode, true) != grOK) {
    CursorPosChanged();
    return false;
  }
  if (record_count_ == 0) {
    ActivateBuffers();
  } else if (record_count_ < buffer_count_) {
    ++record_count_;
  } else {
    MoveBuffer(0, record_count_);
  }
  current_record_ = record_count_ - 1;
  return true;
}

bool TDataSet::GetPriorRecord() {
  if (record_count_ > 0) SetCurrentRecord(0);
  if (GetRecord(buffers_[static_cast<std::size_t>(record_count_)], gmPrior, true) != grOK) {
    CursorPosChanged();
    return false;
  }
  if (record_count_ == 0) {
    ActivateBuffers();
  } else {
    MoveBuffer(record_count_, 0);
    if (record_count_ < buffer_count_) {
      ++record_count_;
      ++active_record_;
    }
  }
  current_record_ = 0;
  return true;
}

int TDataSet::GetNextRecords() {
  int count = 0;
  while (record_count_ < buffer_count_ && GetNextRecord()) ++count;
  return count;
}

int TDataSet::GetPriorRecords() {
  int count = 0;
  while (record_count_ < buffer_count_ && GetPriorRecord()) ++count;
  return count;
}

void TDataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalFirst();
    GetNextRecord();
    GetNextRecords();
  } catch (...) {
    bof_ = true;
    DataEvent(deDataSetChange, 0);
    throw;
  }
  bof_ = true;
  DataEvent(deDataSetChange, 0);
  DoAfterScroll();
}

void TDataSet::Last() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalLast();
    GetPriorRecord();
    GetPriorRecords();
  } catch (...) {
    eof_ = true;
    DataEvent(deDataSetChange, 0);
    throw;
  }
  eof_ = true;
  DataEvent(deDataSetChange, 0);
  DoAfterScroll();
}

// One record towards the end; false at the end. `scrolled` counts the
// buffers dropped at the front (negative), as deDataSetScroll reports it.
bool TDataSet::StepForward(int& scrolled) {
  if (active_record_ < record_count_ - 1) {
    ++active_record_;
    return true;
  }
  const bool shifts = record_count_ >= buffer_count_;
  if (!GetNextRecord()) return false;
  if (shifts) --scrolled;
  active_record_ = record_count_ - 1;
  return true;
}

// One record towards the start; false at the start. Buffers dropped at the
// back count positive.
bool TDataSet::StepBackward(int& scrolled) {
  if (active_record_ > 0) {
    --active_record_;
    return true;
  }
  const bool shifts = record_count_ >= buffer_count_;
  if (!GetPriorRecord()) return false;
  if (shifts) ++scrolled;
  active_record_ = 0;
  return true;
}

int TDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  DoBeforeScroll();
  int moved = 0;
  if ((distance > 0 && !eof_) || (distance < 0 && !bof_)) {
    bof_ = false;
    eof_ = false;
    int scrolled = 0;
    try {
      for (; distance > 0; --distance, ++moved) {
        if (!StepForward(scrolled)) {
          eof_ = true;
          break;
        }
      }
      for (; distance < 0; ++distance, --moved) {
        if (!StepBackward(scrolled)) {
          bof_ = true;
          break;
        }
      }
    } catch (...) {
      DataEvent(deDataSetScroll, scrolled);
      throw;
    }
    DataEvent(deDataSetScroll, scrolled);
  }
  DoAfterScroll();
  return moved;
}

void TDataSet::Resync(TResyncMode mode) {
  if (buffers_.empty()) return;  // closed: nothing to refill
  TRecordBuffer temp = buffers_[static_cast<std::size_t>(record_count_)];
  if (mode & rmExact) {
    CursorPosChanged();
    if (GetRecord(temp, gmCurrent, true) != grOK) DatabaseError(dbconsts::SRecordNotFound);
  } else if (GetRecord(temp, gmCurrent, false) != grOK && GetRecord(temp, gmNext, false) != grOK &&
             GetRecord(temp, gmPrior, false) != grOK) {
    ClearBuffers();
    DataEvent(deDataSetChange, 0);
    return;
  }
  int before = (mode & rmCenter) ? (buffer_count_ - 1) / 2 : active_record_;
  MoveBuffer(record_count_, 0);
  ActivateBuffers();
  try {
    while (before > 0 && GetPriorRecord()) --before;
    GetNextRecords();
    GetPriorRecords();
  } catch (...) {
    DataEvent(deDataSetChange, 0);
    throw;
  }
  DataEvent(deDataSetChange, 0);
}

}  // namespace tessel
