#pragma once
// The document (the loaded firmware image, kept in the link), its template
// and the document manager of the single-document window. Window thread.
#include <functional>

#include <wx/docview.h>

// The image itself lives in the link (g_link), so the worker can send it; the
// document only ties New and Open to the link's loaders. It never saves.
class CKavDoc : public wxDocument {
public:
    CKavDoc() = default;

    // The framework's new-document step, then the built-in image; the load's
    // result is not a failure of the document.
    bool OnNewDocument() override;
    // Nothing is ever written: an image file must not be replaced.
    bool OnSaveDocument(const wxString& filename) override;
    bool Save() override { return false; }
    bool SaveAs() override { return false; }
    bool IsModified() const override { return false; }

protected:
    // Reads the file into the link. Only a file that cannot be opened or read
    // fails the open; an image that fails its checksum is still the document.
    bool DoOpenDocument(const wxString& file) override;
    bool DoSaveDocument(const wxString& file) override;

private:
    wxDECLARE_DYNAMIC_CLASS(CKavDoc);
};

// Any file named by the operator is an image file: the command line, a dropped
// file and the recent-file list open it whatever its extension.
class CKavDocTemplate : public wxDocTemplate {
public:
    using wxDocTemplate::wxDocTemplate;
    bool FileMatchesTemplate(const wxString& path) override;
};

// One document at a time, a recent-file list of 4, documents titled
// "Untitled" and window titles "<document> - Firmware Downloader".
class CKavDocManager : public wxDocManager {
public:
    CKavDocManager();

    wxFileHistory* OnCreateFileHistory() override;
    wxString MakeNewDocumentName() override;
    wxString MakeFrameTitle(wxDocument* doc) override;

    // An unreadable file is reported and leaves the current document in place.
    wxDocument* CreateDocument(const wxString& path, long flags = 0) override;
    wxDocTemplate* SelectDocumentPath(wxDocTemplate** templates, int noTemplates, wxString& path, long flags,
                                      bool save = false) override;

    // The Open dialog's type list.
    static wxString OpenFilter();

    void AddFileToHistory(const wxString& file) override;
    void RemoveFileFromHistory(size_t i) override;
    void FileHistoryLoad(const wxConfigBase& config) override;

    // Called after every change of the recent-file list.
    void SetHistoryChanged(std::function<void()> callback) { m_historyChanged = std::move(callback); }

    // The window title field of the document string.
    static wxString WindowTitle();

private:
    // Opens path for reading to see that it can be; reports why not.
    static bool CheckReadable(const wxString& path);
    void OnRecentFile(wxCommandEvent& event);
    void HistoryChanged();

    std::function<void()> m_historyChanged;
};

// Creates the document template from the document string and registers it.
CKavDocTemplate* CreateDocTemplate(wxDocManager* manager);
