#pragma once

#include "urllist/JobTableModel.h"
#include "urllist/UrlListFile.h"

#include <QItemSelectionModel>

// The list commands over the rows and the list view's selection (the selection is the
// view's; the rows are the model's).
class TJobList
{
public:
    TJobList(TJobTableModel* model, QItemSelectionModel* selection);

    TJobTableModel* Model() const { return m_model; }
    int Count() const { return m_model->Count(); }
    bool IsSelected(int row) const;
    bool AnySelected() const;
    QList<TUrlJob> SelectedJobs() const;

    void SelectAll();
    void ClearSelection();
    // Exactly the rows that read "Error" become selected, so that Start runs them again.
    // Returns how many there are.
    int SelectErrors();
    // Removes the selected rows, each run of neighbouring rows at once, the last run first,
    // then numbers the rest from 1. Returns false (and changes nothing) when no row is selected.
    bool DeleteSelected();

    // Replaces every row by rows made from `lines`, numbered after the list's last number.
    // Returns the rows added.
    int Import(const QList<QByteArray>& lines, ListFormat format, int idKind);
    // Appends one "Pending" row for `url` (as typed) numbered after the last; does nothing
    // and returns false when the text is blank (only characters 0 to 32).
    bool AddUrl(const QByteArray& url, int idKind);
    // The selected rows in `format`, each line ending CR LF.
    QByteArray ExportSelected(ListFormat format) const;

private:
    TJobTableModel* m_model;
    QItemSelectionModel* m_selection;
};

// Whether anything is left of `text` once characters 0 to 32 are removed from both ends.
bool HasContent(const QByteArray& text);
