#include "export/nifti_io.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include <nifti1_io.h>
#include <zlib.h>

#include "export/atomic_file.h"

namespace morvex {

namespace {

// Largest distance (mm) between a voxel's place in a file and in the series, and between a slice's
// position and its place on the regular grid.
constexpr double kTolerance = 0.01;

// Largest header extension accepted: the bytes between the 348-byte header and the voxel data.
constexpr std::int64_t kMaxExtensionBytes = std::int64_t{16} << 20;
// Bytes after the voxel data read (and ignored) to reach the end of the file's stream; a file
// holding more is refused.
constexpr std::int64_t kMaxTrailingBytes = std::int64_t{1} << 20;

struct GzCloser {
  void operator()(gzFile f) const { gzclose(f); }
};
using GzPtr = std::unique_ptr<gzFile_s, GzCloser>;

// What a file's own header says, read before nifticlib sees the file.
struct NiftiFacts {
  int dim[8] = {};  // dim[0] dimensions; dim[d] = 1 beyond them
  std::int64_t voxOffset = 0, dataBytes = 0;
};

// Skips n bytes of the stream; the count skipped (short at the end), -1 on damaged data.
std::int64_t skipBytes(gzFile f, std::int64_t n) {
  std::vector<char> buffer(64 * 1024);
  std::int64_t done = 0;
  while (done < n) {
    const int got = gzread(f, buffer.data(), static_cast<unsigned>(std::min<std::int64_t>(n - done, buffer.size())));
    if (got < 0) return -1;
    if (got == 0) break;
    done += got;
  }
  return done;
}

// The header of path read through zlib (which reads uncompressed files as they are) before
// nifticlib allocates anything: a single-file NIfTI-1 header, 1 to 7 dimensions, a voxel type of
// known size, and header extensions within kMaxExtensionBytes (nifticlib reads none that reach
// past the voxel offset).
bool readNiftiHeader(const std::string& path, NiftiFacts& facts, std::string& error) {
  GzPtr file(gzopen(path.c_str(), "rb"));
  if (!file) {
    error = "not a readable NIfTI file";
    return false;
  }
  nifti_1_header h;
  static_assert(sizeof h == 348, "NIfTI-1 header layout");
  const int got = gzread(file.get(), &h, sizeof h);
  if (got != static_cast<int>(sizeof h)) {
    error = got < 0 ? "not a readable NIfTI file (its compressed data is damaged)"
                    : "not a readable NIfTI file (it ends within its 348-byte header)";
    return false;
  }
  int size = h.sizeof_hdr;
  nifti_swap_4bytes(1, &size);
  if (size == 348) swap_nifti_header(&h, 1);
  if (h.sizeof_hdr != 348 || std::memcmp(h.magic, "n+1", 4) != 0) {
    error = std::memcmp(h.magic, "ni1", 4) == 0 ? "not a readable NIfTI file (its voxels lie in a separate .img file)"
                                                 : "not a readable NIfTI file (no NIfTI-1 header)";
    return false;
  }
  if (h.dim[0] < 1 || h.dim[0] > 7) {
    error = "not a readable NIfTI file (" + std::to_string(h.dim[0]) + " dimensions)";
    return false;
  }
  std::int64_t voxels = 1;
  facts.dim[0] = h.dim[0];
  for (int d = 1; d <= 7; ++d) {
    facts.dim[d] = d <= h.dim[0] ? h.dim[d] : 1;
    if (facts.dim[d] < 1) {
      error = "not a readable NIfTI file (dimension " + std::to_string(d) + " is " + std::to_string(facts.dim[d]) + ")";
      return false;
    }
    // capped far beyond any series (which the dimensions are checked against) so it never overflows
    voxels = std::min(voxels * facts.dim[d], std::int64_t{1} << 40);
  }
  int bytesPerVoxel = 0, swapSize = 0;
  nifti_datatype_sizes(h.datatype, &bytesPerVoxel, &swapSize);
  if (bytesPerVoxel <= 0 || h.bitpix != 8 * bytesPerVoxel) {
    error = "not a readable NIfTI file (voxel type " + std::to_string(h.datatype) + " of " + std::to_string(h.bitpix) +
            " bits)";
    return false;
  }
  const double offset = h.vox_offset;
  if (!(offset >= 352)) {  // NaN included
    error = "not a readable NIfTI file (voxel offset " + std::to_string(offset) + ")";
    return false;
  }
  if (offset > 352 + kMaxExtensionBytes) {
    const long long claimed = static_cast<long long>(std::min(offset, 1e18)) - 352;
    error = "its header extensions claim " + std::to_string(claimed) + " bytes, more than " +
            std::to_string(kMaxExtensionBytes >> 20) + " MB";
    return false;
  }
  facts.voxOffset = static_cast<std::int64_t>(offset);
  facts.dataBytes = voxels * bytesPerVoxel;
  return true;
}

// The whole stream of a file whose header was read: the voxel data present in full and the
// compressed stream ending where it should (its check sum included), with at most
// kMaxTrailingBytes after the data. Memory stays at one read buffer.
bool checkNiftiData(const std::string& path, const NiftiFacts& facts, std::string& error) {
  GzPtr file(gzopen(path.c_str(), "rb"));
  if (!file) {
    error = "not a readable NIfTI file";
    return false;
  }
  const std::int64_t want = facts.voxOffset + facts.dataBytes;
  const std::int64_t held = skipBytes(file.get(), want);
  if (held >= 0 && held < want) {
    error = "the file is cut short: its header describes " + std::to_string(want) + " bytes, it holds " +
            std::to_string(held);
    return false;
  }
  const std::int64_t trailing = held < 0 ? -1 : skipBytes(file.get(), kMaxTrailingBytes + 1);
  int status = Z_OK;
  gzerror(file.get(), &status);
  if (status == Z_BUF_ERROR) {
    error = "the file is cut short: its compressed stream ends unfinished";
    return false;
  }
  if (trailing < 0 || status != Z_OK) {
    error = "its compressed data is damaged";
    return false;
  }
  if (trailing > kMaxTrailingBytes) {
    error = "the file holds more data than its header describes";
    return false;
  }
  return true;
}

struct NiftiDeleter {
  void operator()(nifti_image* nim) const { nifti_image_free(nim); }
};
using NiftiPtr = std::unique_ptr<nifti_image, NiftiDeleter>;

double dot(const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double norm(const double* a) { return std::sqrt(dot(a, a)); }

bool validOrientation(const double* o) {
  return std::fabs(norm(o) - 1) < 1e-3 && std::fabs(norm(o + 3) - 1) < 1e-3 && std::fabs(dot(o, o + 3)) < 1e-3;
}

std::vector<int> framesOf(const Study& study, int group) {
  std::vector<int> frames;
  const int first = study.firstFrameOfSeries(group), last = study.lastFrameOfSeries(group);
  if (first < 0) return frames;
  for (int f = first; f <= last; ++f)
    if (study.seriesOfFrame(f) == group) frames.push_back(f);
  return frames;
}

bool hasPatientGeometry(const Study& study, const std::vector<int>& frames) {
  for (int f : frames) {
    const SliceHeader& h = study.frame(f)->header;
    if (!h.hasPosition || !validOrientation(h.imageOrientation) || h.pixelSpacingRow <= 0 || h.pixelSpacingColumn <= 0)
      return false;
  }
  return true;
}

// Spacings and directions alone: raster slices and DICOM files without positions.
void gridWithoutPositions(const SliceHeader& h, SeriesGrid& grid) {
  const double pixel = h.pixelSpacing > 0 ? h.pixelSpacing : 1.0;
  // along a row the next column, down a column the next row; the first value stands in for a missing one
  const double column = h.pixelSpacingColumn > 0 ? h.pixelSpacingColumn : pixel;
  const double row = h.pixelSpacingRow > 0 ? h.pixelSpacingRow : pixel;
  const double slice = h.sliceThickness > 0 ? h.sliceThickness : 1.0;
  std::memset(grid.affine, 0, sizeof grid.affine);
  grid.affine[0][0] = column;
  grid.affine[1][1] = row;
  grid.affine[2][2] = slice;
}

bool gridFromPositions(const Study& study, SeriesGrid& grid, std::string& error) {
  const SliceHeader& first = study.frame(grid.frames.front())->header;
  const double* o = first.imageOrientation;
  for (int f : grid.frames) {
    const double* p = study.frame(f)->header.imageOrientation;
    for (int i = 0; i < 6; ++i)
      if (std::fabs(p[i] - o[i]) > 1e-4) {
        error = "the slices of the series have different orientations";
        return false;
      }
  }
  const double normal[3] = {o[1] * o[5] - o[2] * o[4], o[2] * o[3] - o[0] * o[5], o[0] * o[4] - o[1] * o[3]};
  auto along = [&](int f) { return dot(study.frame(f)->header.imagePosition, normal); };
  std::stable_sort(grid.frames.begin(), grid.frames.end(), [&](int a, int b) { return along(a) < along(b); });
  const std::size_t n = grid.frames.size();
  const double* p0 = study.frame(grid.frames.front())->header.imagePosition;
  const double* pn = study.frame(grid.frames.back())->header.imagePosition;
  double step[3];
  if (n > 1) {
    for (int a = 0; a < 3; ++a) step[a] = (pn[a] - p0[a]) / static_cast<double>(n - 1);
  } else {
    const double d = first.spacingBetweenSlices > 0 ? first.spacingBetweenSlices
                     : first.sliceThickness > 0     ? first.sliceThickness
                                                    : 1.0;
    for (int a = 0; a < 3; ++a) step[a] = normal[a] * d;
  }
  if (n > 1 && dot(step, normal) < kTolerance) {
    error = "two slices of the series lie at the same position";
    return false;
  }
  for (std::size_t k = 0; k < n; ++k) {
    const double* p = study.frame(grid.frames[k])->header.imagePosition;
    double off[3];
    for (int a = 0; a < 3; ++a) off[a] = p[a] - (p0[a] + step[a] * static_cast<double>(k));
    if (norm(off) > kTolerance) {
      error = "the slices of the series are not evenly spaced (slice " + std::to_string(k + 1) + " lies " +
              std::to_string(norm(off)) + " mm off the grid)";
      return false;
    }
  }
  for (int a = 0; a < 3; ++a) {
    grid.affine[a][0] = o[a] * first.pixelSpacingColumn;     // along a row: the next column
    grid.affine[a][1] = o[3 + a] * first.pixelSpacingRow;    // down a column: the next row
    grid.affine[a][2] = step[a];
    grid.affine[a][3] = p0[a];
  }
  return true;
}

mat44 toMat44(const double m[4][4]) {
  mat44 out;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) out.m[r][c] = static_cast<float>(m[r][c]);
  return out;
}

// The file's voxel-to-RAS map: the sform when set, else the qform; false when neither is.
bool fileAffine(const nifti_image& nim, double out[4][4]) {
  const mat44* m = nim.sform_code > 0 ? &nim.sto_xyz : nim.qform_code > 0 ? &nim.qto_xyz : nullptr;
  if (!m) return false;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c) out[r][c] = m->m[r][c];
  return true;
}

// Largest distance between where the two maps put the corner voxels of the grid.
double cornerDistance(const double a[4][4], const double b[4][4], int nx, int ny, int nz) {
  double worst = 0;
  for (int corner = 0; corner < 8; ++corner) {
    const double v[4] = {corner & 1 ? nx - 1.0 : 0.0, corner & 2 ? ny - 1.0 : 0.0, corner & 4 ? nz - 1.0 : 0.0, 1.0};
    double d2 = 0;
    for (int r = 0; r < 3; ++r) {
      double pa = 0, pb = 0;
      for (int c = 0; c < 4; ++c) {
        pa += a[r][c] * v[c];
        pb += b[r][c] * v[c];
      }
      d2 += (pa - pb) * (pa - pb);
    }
    worst = std::max(worst, std::sqrt(d2));
  }
  return worst;
}

// Voxel value i of the loaded data as a whole number; false for fractions and non-integer types.
bool voxelValue(const nifti_image& nim, std::size_t i, double& v) {
  switch (nim.datatype) {
    case DT_UINT8: v = static_cast<const uint8_t*>(nim.data)[i]; return true;
    case DT_INT8: v = static_cast<const int8_t*>(nim.data)[i]; return true;
    case DT_INT16: v = static_cast<const int16_t*>(nim.data)[i]; return true;
    case DT_UINT16: v = static_cast<const uint16_t*>(nim.data)[i]; return true;
    case DT_INT32: v = static_cast<const int32_t*>(nim.data)[i]; return true;
    case DT_UINT32: v = static_cast<const uint32_t*>(nim.data)[i]; return true;
    case DT_FLOAT32: v = static_cast<const float*>(nim.data)[i]; return v == std::floor(v);
    case DT_FLOAT64: v = static_cast<const double*>(nim.data)[i]; return v == std::floor(v);
    default: return false;
  }
}

bool checkDimensions(const NiftiFacts& facts, const SeriesGrid& grid, std::string& error) {
  const int n = static_cast<int>(grid.frames.size());
  bool sizeMatches = facts.dim[1] == grid.width && facts.dim[2] == grid.height && facts.dim[3] == n;
  for (int d = 4; d <= 7; ++d) sizeMatches = sizeMatches && facts.dim[d] == 1;
  if (!sizeMatches) {
    error = "dimensions " + std::to_string(facts.dim[1]) + " x " + std::to_string(facts.dim[2]) + " x " +
            std::to_string(facts.dim[3]) + " do not match the series (" + std::to_string(grid.width) + " x " +
            std::to_string(grid.height) + " x " + std::to_string(n) + ")";
    return false;
  }
  return true;
}

bool checkHeader(const nifti_image& nim, const SeriesGrid& grid, std::string& error) {
  if (nim.scl_slope != 0 && (nim.scl_slope != 1 || nim.scl_inter != 0)) {
    error = "scaled voxel values are no labels";
    return false;
  }
  if (!grid.patientGeometry) return true;
  double mine[4][4], theirs[4][4];
  if (!fileAffine(nim, theirs)) {
    error = "the file carries no patient geometry (qform and sform unset)";
    return false;
  }
  niftiAffine(grid, mine);
  const double off = cornerDistance(mine, theirs, nim.nx, nim.ny, std::max(nim.nz, 1));
  if (off > kTolerance) {
    error = "its geometry does not match the series (voxels up to " + std::to_string(off) + " mm apart)";
    return false;
  }
  return true;
}

}  // namespace

bool isNiftiPath(const std::string& path) {
  auto ends = [&](const char* s) {
    const std::size_t n = std::strlen(s);
    if (path.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
      if (std::tolower(static_cast<unsigned char>(path[path.size() - n + i])) != s[i]) return false;
    return true;
  };
  return ends(".nii") || ends(".nii.gz");
}

bool seriesGrid(const Study& study, int group, SeriesGrid& grid, std::string& error) {
  grid = SeriesGrid();
  grid.frames = framesOf(study, group);
  if (grid.frames.empty()) {
    error = "the series holds no slices";
    return false;
  }
  grid.width = study.width(grid.frames.front());
  grid.height = study.height(grid.frames.front());
  for (int f : grid.frames)
    if (study.width(f) != grid.width || study.height(f) != grid.height || !study.labelImage(f)) {
      error = "the slices of the series differ in size";
      return false;
    }
  grid.patientGeometry = hasPatientGeometry(study, grid.frames);
  if (grid.patientGeometry) return gridFromPositions(study, grid, error);
  gridWithoutPositions(study.frame(grid.frames.front())->header, grid);
  return true;
}

void niftiAffine(const SeriesGrid& grid, double out[4][4]) {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 4; ++c) out[r][c] = (r < 2 ? -1.0 : 1.0) * grid.affine[r][c];
  out[3][0] = out[3][1] = out[3][2] = 0;
  out[3][3] = 1;
}

bool writeNiftiLabels(const std::string& path, const Study& study, int group, std::string& error) {
  if (!isNiftiPath(path)) {
    error = path + ": the name must end in .nii or .nii.gz";
    return false;
  }
  SeriesGrid grid;
  if (!seriesGrid(study, group, grid, error)) {
    error = path + ": " + error;
    return false;
  }
  const int n = static_cast<int>(grid.frames.size());
  const std::size_t plane = static_cast<std::size_t>(grid.width) * grid.height;
  AtomicFile file(path, false);
  const int dims[8] = {3, grid.width, grid.height, n, 1, 1, 1, 1};
  NiftiPtr nim(nifti_make_new_nim(dims, DT_UINT8, 1));
  if (!nim) {
    error = path + ": out of memory";
    return false;
  }
  for (int k = 0; k < n; ++k)
    std::memcpy(static_cast<uint8_t*>(nim->data) + plane * k, study.labelImage(grid.frames[k]), plane);
  double affine[4][4];
  niftiAffine(grid, affine);
  for (int c = 0; c < 3; ++c) {
    const double length = std::sqrt(affine[0][c] * affine[0][c] + affine[1][c] * affine[1][c] + affine[2][c] * affine[2][c]);
    nim->pixdim[c + 1] = static_cast<float>(length);
  }
  nim->dx = nim->pixdim[1];
  nim->dy = nim->pixdim[2];
  nim->dz = nim->pixdim[3];
  nim->xyz_units = NIFTI_UNITS_MM;
  // labels, displayed over the range of the values used
  nim->intent_code = NIFTI_INTENT_LABEL;
  const uint8_t* voxels = static_cast<const uint8_t*>(nim->data);
  nim->cal_min = 0;
  nim->cal_max = *std::max_element(voxels, voxels + plane * n);
  std::snprintf(nim->descrip, sizeof nim->descrip, "Morvex label volume");
  if (grid.patientGeometry) {
    nim->sto_xyz = toMat44(affine);
    nim->sform_code = NIFTI_XFORM_SCANNER_ANAT;
    nifti_mat44_to_quatern(nim->sto_xyz, &nim->quatern_b, &nim->quatern_c, &nim->quatern_d, &nim->qoffset_x,
                           &nim->qoffset_y, &nim->qoffset_z, nullptr, nullptr, nullptr, &nim->qfac);
    nim->qto_xyz = nifti_quatern_to_mat44(nim->quatern_b, nim->quatern_c, nim->quatern_d, nim->qoffset_x, nim->qoffset_y,
                                          nim->qoffset_z, nim->dx, nim->dy, nim->dz, nim->qfac);
    // A tilted gantry shears the grid, which a rotation cannot hold: the qform is then left unset.
    double q[4][4];
    for (int r = 0; r < 4; ++r)
      for (int c = 0; c < 4; ++c) q[r][c] = nim->qto_xyz.m[r][c];
    nim->qform_code = cornerDistance(q, affine, grid.width, grid.height, n) <= kTolerance ? NIFTI_XFORM_SCANNER_ANAT : 0;
  }
  if (nifti_set_filenames(nim.get(), file.tempPath().c_str(), 0, 1) != 0) {
    error = path + ": nifticlib refused the file name";
    return false;
  }
  nifti_set_debug_level(0);
  nifti_image_write(nim.get());
  // nifticlib reports no failure: the written file is read back and compared.
  NiftiPtr back(nifti_image_read(file.tempPath().c_str(), 1));
  const bool same = back && back->datatype == DT_UINT8 && back->nvox == plane * n &&
                    std::memcmp(back->data, nim->data, back->nvox) == 0;
  if (!same || !file.commit()) {
    error = path + ": the file could not be written";
    return false;
  }
  return true;
}

bool readNiftiLabels(const std::string& path, const Study& study, int group, SeriesGrid& grid,
                     std::vector<std::vector<uint8_t>>& labels, std::string& error) {
  labels.clear();
  if (!seriesGrid(study, group, grid, error)) {
    error = path + ": " + error;
    return false;
  }
  // The file's own header and data are checked before nifticlib reads it.
  NiftiFacts facts;
  if (!readNiftiHeader(path, facts, error) || !checkDimensions(facts, grid, error) ||
      !checkNiftiData(path, facts, error)) {
    error = path + ": " + error;
    return false;
  }
  nifti_set_debug_level(0);  // reasons are reported here, in one line, not by the library
  NiftiPtr nim(nifti_image_read(path.c_str(), 0));
  if (!nim) {
    error = path + ": not a readable NIfTI file";
    return false;
  }
  if (!checkHeader(*nim, grid, error)) {
    error = path + ": " + error;
    return false;
  }
  if (nifti_image_load(nim.get()) != 0 || !nim->data) {
    error = path + ": the voxel data cannot be read";
    return false;
  }
  const std::size_t plane = static_cast<std::size_t>(grid.width) * grid.height;
  const int maxLabel = study.labelCount() > 0 ? study.labelCount() : 255;
  labels.assign(grid.frames.size(), std::vector<uint8_t>(plane));
  for (std::size_t k = 0; k < grid.frames.size(); ++k)
    for (std::size_t p = 0; p < plane; ++p) {
      double v = 0;
      if (!voxelValue(*nim, k * plane + p, v) || v < 0 || v > maxLabel) {
        error = path + ": voxel values must be label values 0.." + std::to_string(maxLabel);
        labels.clear();
        return false;
      }
      labels[k][p] = static_cast<uint8_t>(v);
    }
  return true;
}

bool loadNiftiLabels(const std::string& path, Study& study, int group, std::string& error) {
  SeriesGrid grid;
  std::vector<std::vector<uint8_t>> labels;
  try {
    if (!readNiftiLabels(path, study, group, grid, labels, error)) return false;
  } catch (const std::bad_alloc&) {
    error = path + ": out of memory";
    return false;
  }
  for (std::size_t k = 0; k < grid.frames.size(); ++k)
    study.setLabelImage(grid.frames[k], labels[k].data(), grid.width, grid.height);
  return true;
}

int loadNiftiMask(const std::string& path, Study& study, std::string& error) {
  error = path + ": no series is loaded";
  for (int s = 0; s < study.seriesCount(); ++s)
    if (loadNiftiLabels(path, study, s, error)) return s;
  return -1;
}

}  // namespace morvex
