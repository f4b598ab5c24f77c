#pragma once
// The application's one document. It holds only the kind of the current data and the last
// save path; its Serialize is the load/save driver, working on the records and the surface
// of its first view.

#include "framework/Afx.h"

#include "formats/DataKinds.h"
#include "formats/RgbPalette.h"

class CVellumView;
class IByteStream;

class CVellumDoc : public CDocument
{
    DECLARE_DYNCREATE(CVellumDoc)
public:
    CVellumDoc();
    ~CVellumDoc() override;

    void Serialize(CArchive& ar) override;
    BOOL OnNewDocument() override;
    BOOL OnSaveDocument(LPCTSTR lpszPathName, CSaveBatch* pBatch = nullptr) override;

    // The target kind of a save path: ".bmp" BMP, ".tim" TIM (either in any case), else BFNT.
    static int SaveTypeFromPath(const CString& strPath);

    int m_nDataType;
    CString m_strSavePath;

protected:
    CVellumView* GetFirstVellumView() const;
    void LoadData(IByteStream& file, CVellumView& view, RgbPalette& palette);
    void StoreData(IByteStream& file, CVellumView& view, RgbPalette& palette);
    // Converts the current record into the target's; FALSE (after telling the user) when the
    // conversion refused, leaving the kind unchanged.
    BOOL ConvertTo(int nTarget, CVellumView& view);

    DECLARE_MESSAGE_MAP()
};
