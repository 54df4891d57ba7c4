#pragma once
// C-FIND in the study root model: studies matching a query, the series of a study, the images of
// a series. One association per ArchiveQuery, opened on first use.

#include <memory>
#include <string>
#include <vector>

#include "network/archive_node.h"
#include "network/outcome.h"

namespace morvex::net {

struct StudyQuery {
  std::string patientName;  // wildcards * and ? as the archive understands them
  std::string patientId;
  std::string dateFrom, dateTo;  // YYYYMMDD, either may be empty
  std::string modality;
  std::string accessionNumber;
};

struct SeriesRecord {
  std::string seriesUid, description, modality;
  int number = 0;
  int imageCount = -1;  // -1: the node did not say
};

struct StudyRecord {
  std::string studyUid, patientName, patientId, date, description, accessionNumber;
  std::vector<SeriesRecord> series;
};

struct InstanceRecord {
  std::string sopInstanceUid, sopClassUid;
};

// "FROM-TO", "FROM-", "-TO" or one date into from / to (YYYYMMDD each); false when malformed.
bool parseDateRange(const std::string& text, std::string& from, std::string& to);

class Association;

class ArchiveQuery {
 public:
  ArchiveQuery(const ArchiveNode& node, const LocalEntity& local, const Timeouts& timeouts);
  ~ArchiveQuery();
  ArchiveQuery(const ArchiveQuery&) = delete;
  ArchiveQuery& operator=(const ArchiveQuery&) = delete;

  // Studies matching query, each with its series (filtered by the query's modality when given).
  Outcome findStudies(const StudyQuery& query, std::vector<StudyRecord>& studies, const TransferControl& control);
  Outcome findSeries(const std::string& studyUid, const std::string& modality, std::vector<SeriesRecord>& series,
                     const TransferControl& control);
  // The study that holds the series (a series-level query by its UID).
  Outcome locateSeries(const std::string& seriesUid, std::string& studyUid, SeriesRecord& record,
                       const TransferControl& control);
  Outcome findInstances(const std::string& studyUid, const std::string& seriesUid, std::vector<InstanceRecord>& images,
                        const TransferControl& control);
  void close();

 private:
  Outcome ensureOpen();
  ArchiveNode node_;
  LocalEntity local_;
  Timeouts timeouts_;
  std::unique_ptr<Association> assoc_;
};

}  // namespace morvex::net
