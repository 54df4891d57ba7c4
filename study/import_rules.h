#pragma once
// Rules of a series import that need no window: the natural file order, the case keys of the
// optional "List" folder, and the sorting of dropped files into slices and masks.

#include <string>
#include <vector>

namespace morvex {

// True when path a sorts before path b in natural order, a strict weak ordering (a total one):
// compared piece by piece, digit runs as numbers of any length (IMG9 < IMG10 < IMG100), other
// characters without case, a character before a digit run, a name before the longer names it
// begins; names still equal (they differ in case or leading zeros only) go by plain byte order.
bool naturalLess(const std::string& a, const std::string& b);

// Case key of a file name or list line: a three-letter extension is dropped, then a one- or
// two-character prefix ("m_", "ab_"), then every "_RAW" and "_DCM".
std::string normalizeCaseKey(std::string name);

// Keys of every line of every ".txt" file below folder (recursively); each line counts from its
// last '\' on. Empty when the folder does not exist.
std::vector<std::string> readNameList(const std::string& folder);

enum class DropKind { Slice, Mask, Ignored };

// Where a dropped file goes: "dcm" and "tiff" files are slices ("tiff" with an "m" prefix masks),
// "txt" files are ignored, NIfTI volumes (".nii", ".nii.gz") are masks, and any other name, with no extension or an unknown one, is a slice
// only when it carries the DICOM preamble. Unprefixed raster images count as masks when more than
// a fraction of their pixels is black (below 10) or white (255): 0.8 for a file dropped by itself,
// 0.75 for a file found inside a dropped folder.
DropKind classifyDroppedFile(const std::string& path, bool insideDroppedFolder);

}  // namespace morvex
