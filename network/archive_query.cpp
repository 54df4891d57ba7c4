#include "network/archive_query.h"

#include <cstdio>
#include <cstdlib>

#include "dcmtk/dcmdata/dcdeftag.h"
#include "dcmtk/dcmdata/dcuid.h"

#include "network/association.h"

namespace morvex::net {

namespace {

std::string text(DcmDataset& ds, const DcmTagKey& tag) {
  OFString value;
  if (ds.findAndGetOFStringArray(tag, value).bad()) return {};
  std::string s = value.c_str();
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  return s;
}

int number(DcmDataset& ds, const DcmTagKey& tag, int fallback) {
  const std::string s = text(ds, tag);
  if (s.empty()) return fallback;
  char* end = nullptr;
  const long v = std::strtol(s.c_str(), &end, 10);
  return end && *end == '\0' && v >= 0 && v < 1000000000 ? static_cast<int>(v) : fallback;
}

bool isDate(const std::string& s) {
  return s.size() == 8 && s.find_first_not_of("0123456789") == std::string::npos;
}

// Pending responses carry a match; the final one says how the query ended.
bool pending(Uint16 status) { return status == STATUS_Pending || status == 0xff01; }

}  // namespace

bool parseDateRange(const std::string& range, std::string& from, std::string& to) {
  const std::size_t dash = range.find('-');
  std::string f = dash == std::string::npos ? range : range.substr(0, dash);
  std::string t = dash == std::string::npos ? range : range.substr(dash + 1);
  if ((!f.empty() && !isDate(f)) || (!t.empty() && !isDate(t)) || (f.empty() && t.empty())) return false;
  from = f;
  to = t;
  return true;
}

ArchiveQuery::ArchiveQuery(const ArchiveNode& node, const LocalEntity& local, const Timeouts& timeouts)
    : node_(node), local_(local), timeouts_(timeouts) {}

ArchiveQuery::~ArchiveQuery() { close(); }

void ArchiveQuery::close() {
  if (assoc_) assoc_->close(false);
  assoc_.reset();
}

Outcome ArchiveQuery::ensureOpen() {
  if (assoc_ && assoc_->isConnected()) return Outcome::success();
  const std::string invalid = validateNode(node_);
  if (!invalid.empty()) return Outcome::failure("node " + nodeAddress(node_) + ": " + invalid);
  assoc_ = std::make_unique<Association>(node_, local_, timeouts_);
  assoc_->propose(UID_FINDStudyRootQueryRetrieveInformationModel);
  Outcome opened = assoc_->open();
  if (!opened.ok) {
    assoc_.reset();
    return opened;
  }
  if (assoc_->contextFor(UID_FINDStudyRootQueryRetrieveInformationModel) == 0) {
    assoc_->close(true);
    assoc_.reset();
    return Outcome::failure("query: " + nodeAddress(node_) + " does not accept queries (C-FIND)");
  }
  return Outcome::success();
}

namespace {

// One C-FIND; each(match) for every match. The association is aborted on failure or cancel.
Outcome runFind(std::unique_ptr<Association>& assoc, DcmDataset& keys, const std::function<void(DcmDataset&)>& each,
                const TransferControl& control, const std::string& what) {
  const T_ASC_PresentationContextID context = assoc->contextFor(UID_FINDStudyRootQueryRetrieveInformationModel);
  Uint16 finalStatus = STATUS_Success;
  assoc->onFind = [&](QRResponse& r) {
    if (pending(r.m_status) && r.m_dataset) each(*r.m_dataset);
    if (!pending(r.m_status)) finalStatus = r.m_status;
    return !control.cancelled();
  };
  const OFCondition cond = assoc->sendFINDRequest(context, &keys, nullptr);
  assoc->onFind = nullptr;
  if (control.cancelled() || cond.bad()) {
    const Outcome out = control.cancelled() ? Outcome::cancel() : Outcome::failure(assoc->describe(cond, what));
    assoc->close(true);
    assoc.reset();
    return out;
  }
  if (finalStatus != STATUS_Success) {
    char code[8];
    std::snprintf(code, sizeof code, "%04X", finalStatus);
    return Outcome::failure(what + ": " + nodeAddress(assoc->node()) + " refused the query (status 0x" + code + ")");
  }
  return Outcome::success();
}

}  // namespace

Outcome ArchiveQuery::findStudies(const StudyQuery& query, std::vector<StudyRecord>& studies,
                                  const TransferControl& control) {
  studies.clear();
  Outcome out = ensureOpen();
  if (!out.ok) return out;
  DcmDataset keys;
  keys.putAndInsertString(DCM_QueryRetrieveLevel, "STUDY");
  keys.putAndInsertString(DCM_StudyInstanceUID, "");
  keys.putAndInsertString(DCM_PatientName, query.patientName.c_str());
  keys.putAndInsertString(DCM_PatientID, query.patientId.c_str());
  std::string date;
  if (!query.dateFrom.empty() || !query.dateTo.empty())
    date = query.dateFrom == query.dateTo ? query.dateFrom : query.dateFrom + "-" + query.dateTo;
  keys.putAndInsertString(DCM_StudyDate, date.c_str());
  keys.putAndInsertString(DCM_AccessionNumber, query.accessionNumber.c_str());
  keys.putAndInsertString(DCM_StudyDescription, "");
  keys.putAndInsertString(DCM_ModalitiesInStudy, query.modality.c_str());
  out = runFind(assoc_, keys, [&](DcmDataset& m) {
    StudyRecord s;
    s.studyUid = text(m, DCM_StudyInstanceUID);
    s.patientName = text(m, DCM_PatientName);
    s.patientId = text(m, DCM_PatientID);
    s.date = text(m, DCM_StudyDate);
    s.description = text(m, DCM_StudyDescription);
    s.accessionNumber = text(m, DCM_AccessionNumber);
    if (!s.studyUid.empty()) studies.push_back(std::move(s));
  }, control, "study query failed");
  if (!out.ok) return out;
  for (StudyRecord& s : studies) {
    out = findSeries(s.studyUid, query.modality, s.series, control);
    if (!out.ok) return out;
  }
  return out;
}

Outcome ArchiveQuery::findSeries(const std::string& studyUid, const std::string& modality,
                                 std::vector<SeriesRecord>& series, const TransferControl& control) {
  series.clear();
  Outcome out = ensureOpen();
  if (!out.ok) return out;
  DcmDataset keys;
  keys.putAndInsertString(DCM_QueryRetrieveLevel, "SERIES");
  keys.putAndInsertString(DCM_StudyInstanceUID, studyUid.c_str());
  keys.putAndInsertString(DCM_SeriesInstanceUID, "");
  keys.putAndInsertString(DCM_Modality, modality.c_str());
  keys.putAndInsertString(DCM_SeriesDescription, "");
  keys.putAndInsertString(DCM_SeriesNumber, "");
  keys.putAndInsertString(DCM_NumberOfSeriesRelatedInstances, "");
  out = runFind(assoc_, keys, [&](DcmDataset& m) {
    SeriesRecord r;
    r.seriesUid = text(m, DCM_SeriesInstanceUID);
    r.description = text(m, DCM_SeriesDescription);
    r.modality = text(m, DCM_Modality);
    r.number = number(m, DCM_SeriesNumber, 0);
    r.imageCount = number(m, DCM_NumberOfSeriesRelatedInstances, -1);
    if (!r.seriesUid.empty()) series.push_back(std::move(r));
  }, control, "series query failed");
  return out;
}

Outcome ArchiveQuery::locateSeries(const std::string& seriesUid, std::string& studyUid, SeriesRecord& record,
                                   const TransferControl& control) {
  Outcome out = ensureOpen();
  if (!out.ok) return out;
  DcmDataset keys;
  keys.putAndInsertString(DCM_QueryRetrieveLevel, "SERIES");
  keys.putAndInsertString(DCM_StudyInstanceUID, "");
  keys.putAndInsertString(DCM_SeriesInstanceUID, seriesUid.c_str());
  keys.putAndInsertString(DCM_Modality, "");
  keys.putAndInsertString(DCM_SeriesDescription, "");
  keys.putAndInsertString(DCM_NumberOfSeriesRelatedInstances, "");
  studyUid.clear();
  out = runFind(assoc_, keys, [&](DcmDataset& m) {
    if (text(m, DCM_SeriesInstanceUID) != seriesUid) return;
    studyUid = text(m, DCM_StudyInstanceUID);
    record.seriesUid = seriesUid;
    record.description = text(m, DCM_SeriesDescription);
    record.modality = text(m, DCM_Modality);
    record.imageCount = number(m, DCM_NumberOfSeriesRelatedInstances, -1);
  }, control, "series lookup failed");
  if (out.ok && studyUid.empty())
    return Outcome::failure("series " + seriesUid + " is not on " + nodeAddress(node_));
  return out;
}

Outcome ArchiveQuery::findInstances(const std::string& studyUid, const std::string& seriesUid,
                                    std::vector<InstanceRecord>& images, const TransferControl& control) {
  images.clear();
  Outcome out = ensureOpen();
  if (!out.ok) return out;
  DcmDataset keys;
  keys.putAndInsertString(DCM_QueryRetrieveLevel, "IMAGE");
  keys.putAndInsertString(DCM_StudyInstanceUID, studyUid.c_str());
  keys.putAndInsertString(DCM_SeriesInstanceUID, seriesUid.c_str());
  keys.putAndInsertString(DCM_SOPInstanceUID, "");
  keys.putAndInsertString(DCM_SOPClassUID, "");
  return runFind(assoc_, keys, [&](DcmDataset& m) {
    InstanceRecord r{text(m, DCM_SOPInstanceUID), text(m, DCM_SOPClassUID)};
    if (!r.sopInstanceUid.empty()) images.push_back(std::move(r));
  }, control, "image query failed");
}

}  // namespace morvex::net
