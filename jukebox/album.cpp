// The album list: entries with their tag text, added, removed, re-inserted and moved.
#include <algorithm>
#include <filesystem>
#include <numeric>
#include <system_error>
#include <utility>

#include "album.h"

namespace tunelo {

namespace {

[[noreturn]] void RaiseAlbumFull(const std::string& path) {
    throw EAlbumFull("The album is full: it holds at most " + std::to_string(TAlbum::kCapacity) +
                     " files. Not added: " + path);
}

// The path as the album stores it: absolute, without "." and ".." steps. A path that cannot be made
// absolute (no current folder) is kept as it is.
std::string FullPath(const std::string& path) {
    std::error_code error;
    std::filesystem::path full = std::filesystem::absolute(path, error);
    if (error) {
        return path;
    }
    return full.lexically_normal().string();
}

} // namespace

std::string GridTitle(const TMusicList& entry) {
    if (!entry.Title.empty()) {
        return entry.Title;
    }
    return std::filesystem::path(entry.FileName).stem().string();
}

TAlbum::TAlbum(TTagReader reader) : FReader(std::move(reader)) {}

const TMusicList& TAlbum::Entry(int32_t index) const {
    if (index < 0 || index >= MusicCount()) {
        RaiseListIndexError(index);
    }
    return FEntries[static_cast<size_t>(index)];
}

void TAlbum::AddEntry(const std::string& path) {
    // Checked before the tags are read: a full album must not open the file at all.
    if (MusicCount() >= kCapacity) {
        RaiseAlbumFull(path);
    }
    TMusicList entry = FReader(path);
    entry.FileName = FullPath(path);
    FEntries.push_back(std::move(entry));
    if (OnInserted) {
        OnInserted(MusicCount() - 1);
    }
    Changed();
}

void TAlbum::RemoveEntry(int32_t index) {
    if (index < 0 || index >= MusicCount()) {
        RaiseListIndexError(index);
    }
    const auto position = FEntries.begin() + index;
    FHolding = std::move(*position);
    FEntries.erase(position);
    if (OnRemoved) {
        OnRemoved(index);
    }
    Changed();
}

void TAlbum::InsertEntry(int32_t index) {
    if (index < 0) {
        RaiseListIndexError(index);
    }
    if (MusicCount() >= kCapacity) {
        RaiseAlbumFull(FHolding.FileName);
    }
    index = std::min(index, MusicCount());
    FEntries.insert(FEntries.begin() + index, FHolding);
    if (OnInserted) {
        OnInserted(index);
    }
    Changed();
}

int32_t TAlbum::MoveEntry(int32_t sourceIndex, int32_t dropRow) {
    const int32_t count = MusicCount();
    if (sourceIndex < 0 || sourceIndex >= count) {
        return -1;
    }
    // Rows 1 to count hold entries; their index in the list without the dragged entry is row - 1, which
    // is at most count - 1, the end of that shorter list. Anything else has no entry under it.
    const int32_t target = dropRow >= 1 && dropRow <= count ? dropRow - 1 : count - 1;
    // Rotating in place instead of removing and inserting: the entry is never outside the list, so no
    // failure halfway can lose it.
    const auto source = FEntries.begin() + sourceIndex;
    const auto destination = FEntries.begin() + target;
    if (target < sourceIndex) {
        std::rotate(destination, source, source + 1);
    } else {
        std::rotate(source, source + 1, destination + 1);
    }
    FHolding = FEntries[static_cast<size_t>(target)];
    if (target != sourceIndex && OnMoved) {
        OnMoved(sourceIndex, target);
    }
    Changed();
    return target;
}

void TAlbum::Reorder(const std::vector<int32_t>& order) {
    const int32_t count = MusicCount();
    std::vector<bool> seen(static_cast<size_t>(count), false);
    if (static_cast<int32_t>(order.size()) != count) {
        throw EMPError("Reorder: the new order does not name every entry once");
    }
    for (const int32_t index : order) {
        if (index < 0 || index >= count || seen[static_cast<size_t>(index)]) {
            throw EMPError("Reorder: the new order does not name every entry once");
        }
        seen[static_cast<size_t>(index)] = true;
    }
    BeginUpdate();
    // current[j]: the original index of the entry now at j.
    std::vector<int32_t> current(static_cast<size_t>(count));
    std::iota(current.begin(), current.end(), 0);
    for (int32_t target = 0; target < count; ++target) {
        const auto found =
            std::find(current.begin() + target, current.end(), order[static_cast<size_t>(target)]);
        const int32_t source = static_cast<int32_t>(found - current.begin());
        if (source == target) {
            continue;
        }
        // The entries before target are final; the one wanted here moves down to it.
        std::rotate(FEntries.begin() + target, FEntries.begin() + source, FEntries.begin() + source + 1);
        std::rotate(current.begin() + target, found, found + 1);
        if (OnMoved) {
            OnMoved(source, target);
        }
        Changed();
    }
    EndUpdate();
}

void TAlbum::Clear() {
    FEntries.clear();
    if (OnCleared) {
        OnCleared();
    }
    Changed();
}

void TAlbum::EndUpdate() {
    if (FUpdateDepth > 0 && --FUpdateDepth == 0 && FChangePending) {
        FChangePending = false;
        if (OnChanged) {
            OnChanged();
        }
    }
}

void TAlbum::Changed() {
    if (FUpdateDepth > 0) {
        FChangePending = true;
        return;
    }
    if (OnChanged) {
        OnChanged();
    }
}

} // namespace tunelo
