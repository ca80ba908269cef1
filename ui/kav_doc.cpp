#include "ui/kav_doc.h"

#include <string>

#include <wx/app.h>
#include <wx/config.h>
#include <wx/filehistory.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>

#include "image/file_reader.h"
#include "ui/ui_resource_ids.h"
#include "ui/ui_strings.h"
#include "res/translation.h"
#include "ui/string_text.h"
#include "ui/commands.h"
#include "ui/globals.h"
#include "ui/kav_view.h"
#include "ui/message_boxes.h"
#include "ui/ui_logic.h"

wxIMPLEMENT_DYNAMIC_CLASS(CKavDoc, wxDocument);

namespace {

wxString DocStringField(int field) {
    return wxString::FromUTF8(DocumentStringFields(LoadUiStringText(IDR_MAINFRAME))[field]);
}
// The extension and the type's name are read by programs: never translated.
wxString SourceField(int field) {
    return wxString::FromUTF8(DocumentStringFields(LoadUiStringSource(IDR_MAINFRAME))[field]);
}

void ReportOpenFailure(const wxString& path, const std::string& reason) {
    ShowMessageBox(wxString::Format(_("Cannot open the file %s.\n\n%s"), path, wxString::FromUTF8(Tr(reason.c_str()))),
                   Text(AFX_IDS_APP_TITLE), wxOK | wxICON_EXCLAMATION | wxCENTRE, wxTheApp->GetTopWindow());
}
}  // namespace

bool CKavDoc::OnNewDocument() {
    if (!wxDocument::OnNewDocument()) return false;
    // A damaged built-in image leaves no data: the view shows it and F9 refuses.
    (void)g_link.LoadBuiltInImage();
    UpdateAllViews();
    return true;
}

bool CKavDoc::OnSaveDocument(const wxString&) { return false; }

bool CKavDoc::DoSaveDocument(const wxString&) { return false; }

bool CKavDoc::DoOpenDocument(const wxString& file) {
    CFileImageReader reader;
    std::string error;
    if (!reader.Open(std::string(file.utf8_str()), error)) {
        ReportOpenFailure(file, error);
        return false;
    }
    // What the load reached is shown either way; a read error fails the open below.
    (void)g_link.LoadImageFromArchive(reader);
    if (reader.Failed()) {
        // The loader has dropped the partly read data; the open fails as a
        // read error of the medium would.
        ReportOpenFailure(file, KTEXT("The file could not be read."));
        return false;
    }
    return true;
}

bool CKavDocTemplate::FileMatchesTemplate(const wxString&) { return true; }

CKavDocManager::CKavDocManager() : wxDocManager(0, false) {
    // The recent-file list must exist with its size of 4 before anything uses it.
    Initialize();
    SetMaxDocsOpen(1);
    // Save and Save As stay on the menu and the tool bar but are always
    // disabled, and do nothing should they arrive anyway.
    for (int id : {CMD_FILE_SAVE, CMD_FILE_SAVE_AS}) {
        Bind(wxEVT_UPDATE_UI, [](wxUpdateUIEvent& event) { event.Enable(false); }, id);
        Bind(wxEVT_MENU, [](wxCommandEvent&) {}, id);
    }
    // Ahead of the framework's own handler, which would add its second box
    // (or one captioned "<app> Error") to the application's.
    Bind(wxEVT_MENU, &CKavDocManager::OnRecentFile, this, wxID_FILE1, wxID_FILE9);
}

void CKavDocManager::OnRecentFile(wxCommandEvent& event) {
    const size_t n = static_cast<size_t>(event.GetId() - wxID_FILE1);
    if (n >= GetHistoryFilesCount()) return;
    const wxString path = GetHistoryFile(n);
    // A file that cannot be opened has had its one box; it leaves the list.
    if (CreateDocument(path, wxDOC_SILENT) == nullptr) RemoveFileFromHistory(n);
}

wxFileHistory* CKavDocManager::OnCreateFileHistory() { return new wxFileHistory(4); }

wxString CKavDocManager::MakeNewDocumentName() { return Text(AFX_IDS_UNTITLED); }

wxString CKavDocManager::WindowTitle() { return DocStringField(DOCSTRING_WINDOW_TITLE); }

wxString CKavDocManager::MakeFrameTitle(wxDocument* doc) {
    if (doc == nullptr) return WindowTitle();
    return doc->GetUserReadableName() + " - " + WindowTitle();
}

bool CKavDocManager::CheckReadable(const wxString& path) {
    CFileImageReader reader;
    std::string error;
    if (reader.Open(std::string(path.utf8_str()), error)) return true;
    ReportOpenFailure(path, error);
    return false;
}

wxDocument* CKavDocManager::CreateDocument(const wxString& path, long flags) {
    if (!(flags & wxDOC_NEW) && !path.empty() && !CheckReadable(path)) return nullptr;
    const bool hadDocument = !GetDocuments().empty();
    wxDocument* document = wxDocManager::CreateDocument(path, flags);
    // The framework closes the old document before it opens the new one; if
    // the open still failed, the window gets a new document rather than none.
    if (document == nullptr && hadDocument && GetDocuments().empty())
        document = wxDocManager::CreateDocument(wxString(), wxDOC_NEW);
    return document;
}

wxString CKavDocManager::OpenFilter() {
    return wxString::FromUTF8(OpenDialogFilter(DocStringField(DOCSTRING_FILTER_NAME).utf8_string(),
                                               DocStringField(DOCSTRING_FILTER_EXT).utf8_string()));
}

wxDocTemplate* CKavDocManager::SelectDocumentPath(wxDocTemplate** templates, int noTemplates, wxString& path,
                                                  long, bool) {
    path.clear();
    if (noTemplates < 1) return nullptr;
    wxFileDialog dialog(wxTheApp->GetTopWindow(), _("Open"), GetLastDirectory(), wxString(), OpenFilter(),
                        wxFD_OPEN | wxFD_FILE_MUST_EXIST);
    if (dialog.ShowModal() != wxID_OK) return nullptr;
    const wxString chosen = dialog.GetPath();
    SetLastDirectory(wxPathOnly(chosen));
    if (!CheckReadable(chosen)) return nullptr;
    path = chosen;
    return templates[0];
}

void CKavDocManager::AddFileToHistory(const wxString& file) {
    wxDocManager::AddFileToHistory(file);
    HistoryChanged();
}

void CKavDocManager::RemoveFileFromHistory(size_t i) {
    wxDocManager::RemoveFileFromHistory(i);
    HistoryChanged();
}

void CKavDocManager::FileHistoryLoad(const wxConfigBase& config) {
    wxDocManager::FileHistoryLoad(config);
    HistoryChanged();
}

void CKavDocManager::HistoryChanged() {
    if (m_historyChanged) m_historyChanged();
}

CKavDocTemplate* CreateDocTemplate(wxDocManager* manager) {
    // "KAVRO Files (*.fw)" and ".fw": the open dialog shows "<description> (*.fw)".
    wxString description = DocStringField(DOCSTRING_FILTER_NAME);
    const wxString extension = SourceField(DOCSTRING_FILTER_EXT);
    const wxString pattern = "*" + extension;
    description.Replace(" (" + pattern + ")", "");
    return new CKavDocTemplate(manager, description, pattern, wxString(), extension.Mid(1),
                               SourceField(DOCSTRING_REG_FILE_TYPE_ID), "KAVRO View",
                               wxCLASSINFO(CKavDoc), wxCLASSINFO(CKavView), wxTEMPLATE_VISIBLE);
}
