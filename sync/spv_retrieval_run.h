#pragma once
// The SPV retrieval run: every message of the company from the last 60 days that the ERP does not
// hold yet is listed page by page, downloaded with its ZIP and XML, stored, and afterwards the
// invoice values are derived and the new messages copied into the older tables.
// It has no widgets: the retrieval screen gives it memo boxes, the sync command gives it streams.

#include <string>

#include "platform/pg/query.h"
#include "platform/time/clock.h"

class TdmCon;
class TfProcAnaf;

namespace retrieval {

// Where the run writes: the summary log, the detailed log, and the point where the window may
// repaint (once per page).
class RunLog {
public:
    virtual ~RunLog() = default;
    virtual void summary(const std::string& line) = 0;
    virtual void detail(const std::string& line) = 0;
    virtual void clearSummary() {}
    virtual void processEvents() {}
};

class SpvRetrievalRun {
public:
    SpvRetrievalRun(TdmCon& dm, TfProcAnaf& anaf, RunLog& log);

    // Runs steps 1 to 12. A failure of the list raises (the caller shows it) and skips the
    // derivation steps; everything stored before stays stored. Returns the fetched count.
    int run();

private:
    void both(const std::string& line);  // summary, then detail
    int listAndDownload(platform::time::LocalDateTime start, platform::time::LocalDateTime end);
    void downloadNewMessages(int& fetched);
    void runStatement(const char* label, std::initializer_list<const char*> statements);

    TdmCon& dm_;
    TfProcAnaf& anaf_;
    RunLog& log_;
    platform::pg::StoredProc o_efact_umplu_msg_;
    platform::pg::Query dsTempListaMesaje_;
};

// Reads "numar_total_pagini" of a list page (a number or decimal text) and fails on "eroare";
// `operation` names the list operation in the error texts.
int pageCountOf(const std::string& content, const std::string& operation);

}  // namespace retrieval
