#include "ui/about_dlg.h"

#include <wx/button.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include "ui/ui_resource_ids.h"
#include "ui/icons.h"

#ifndef KAVRO_VERSION
#error "KAVRO_VERSION must be defined by the build"
#endif

wxString CAboutDlg::NameLine() { return wxString::Format(_("KAVRO Version %s"), KAVRO_VERSION); }

wxString CAboutDlg::NoticeLine() { return _("Firmware downloader for serial-port equipment"); }

CAboutDlg::CAboutDlg(wxWindow* parent) : wxDialog(parent, static_cast<int>(IDD_ABOUTBOX), _("About KAVRO")) {
    auto* icon = new wxStaticBitmap(this, wxID_ANY, AppIconBitmap());
    auto* name = new wxStaticText(this, wxID_ANY, NameLine());
    auto* notice = new wxStaticText(this, wxID_ANY, NoticeLine());
    auto* ok = new wxButton(this, wxID_OK, _("OK"));
    ok->SetDefault();
    SetAffirmativeId(wxID_OK);

    auto* texts = new wxBoxSizer(wxVERTICAL);
    texts->Add(name, 0, wxBOTTOM, FromDIP(8));
    texts->Add(notice, 0);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(icon, 0, wxALL, FromDIP(12));
    row->Add(texts, 1, wxTOP | wxBOTTOM | wxALIGN_CENTER_VERTICAL, FromDIP(12));
    row->Add(ok, 0, wxALL | wxALIGN_TOP, FromDIP(12));
    SetSizerAndFit(row);
    ok->SetFocus();
    CentreOnParent();
}
