#include "demo_blob.h"

#include <cstdio>
#include <string>

#include "framework/exceptions.h"
#include "framework/field_kinds.h"
#include "runtime/Tessel.h"

namespace tessel::demo {
namespace {

void CreateNotesTable(TSQLServer& server) {
  TTessel probe(nullptr);
  probe.SetSQLServer(&server);
  probe.SQL()->SetText("SELECT COUNT(*) AS n FROM tessel_demo_notes");
  try {
    probe.Open();
    return;
  } catch (const ElqSQLError&) {
    // Missing: made below.
  }
  server.InternalExecute(
      "CREATE TABLE tessel_demo_notes (id int NOT NULL PRIMARY KEY, note text NULL)");
  server.InternalExecute(
      "INSERT INTO tessel_demo_notes VALUES (1, 'Check the wing nuts before shipping.')");
  std::printf("created sample table tessel_demo_notes\n");
}

std::string Shortened(const std::string& text) {
  return text.size() <= 60 ? text : text.substr(0, 57) + "...";
}

}  // namespace

void DemoBlob(TSQLServer& server) {
  CreateNotesTable(server);
  TTessel query(nullptr);
  query.SetName("Notes");
  query.SetSQLServer(&server);
  query.SQL()->SetText("SELECT id, note FROM tessel_demo_notes WHERE id = 1");
  // Where a post writes the memo: the table, its key and the column to set.
  query.UpdateParams()->SetTableName("tessel_demo_notes");
  query.UpdateParams()->KeyFields()->Add("id");
  query.UpdateParams()->UpdateFields()->Add("note");
  query.Open();
  TField* note = query.FieldByName("note");
  const std::string before = note->AsString();
  std::printf("memo of note 1 (%zu characters): '%s'\n", before.size(), Shortened(before).c_str());

  const std::string stamp = " Checked again.";
  query.Edit();
  note->SetAsString(before + stamp);
  std::printf("memo in the edit buffer: '%s'\n", Shortened(note->AsString()).c_str());
  try {
    query.Post();
  } catch (const EDatabaseError& error) {
    std::printf("the memo was not written: %s\n", error.what());
    query.Cancel();
    return;
  }
  // Reopened, the query reads the memo from the server again.
  query.Close();
  query.Open();
  const std::string after = query.FieldByName("note")->AsString();
  std::printf("memo read back from the server (%zu characters): '%s'\n", after.size(),
              Shortened(after).c_str());
}

}  // namespace tessel::demo
