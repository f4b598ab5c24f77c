#include "tools/vellumconv/ConvThumbnail.h"

#include "exchange/Exchange.h"
#include "formats/ItemReach.h"
#include "framework/AfxSafeSave.h"
#include "tools/vellumconv/ConvInput.h"
#include "tools/vellumconv/ConvOutput.h"
#include "tools/vellumconv/ConvRoute.h"
#include "tools/vellumconv/ConvText.h"

#include <exception>
#include <new>
#include <string>
#include <vector>

namespace
{

// Rows of the thumbnail made one at a time from the picture, so the scaled picture is never
// held whole: each output pixel takes the source pixel under its centre.
class CThumbRows final : public IPngRowSource
{
public:
    CThumbRows(const PngPicture& pic, ConvThumbSize size) : m_pic(pic), m_size(size), m_row(std::size_t{size.nWidth} * 4)
    {
        m_columns.resize(size.nWidth);
        for (std::uint32_t x = 0; x < size.nWidth; ++x)
            m_columns[x] = Source(x, size.nWidth, pic.nWidth);
    }

    const std::uint8_t* Row(std::uint32_t y) override
    {
        const std::size_t nSourceRow = std::size_t{Source(y, m_size.nHeight, m_pic.nHeight)} * m_pic.nWidth;
        std::uint8_t* p = m_row.data();
        for (std::uint32_t nColumn : m_columns)
        {
            const std::size_t n = nSourceRow + nColumn;
            PngColor c{0, 0, 0, 0};
            if (!m_pic.bIndexed)
                c = {m_pic.pixels[n * 4], m_pic.pixels[n * 4 + 1], m_pic.pixels[n * 4 + 2], m_pic.pixels[n * 4 + 3]};
            else if (m_pic.pixels[n] < m_pic.palette.size())
                c = m_pic.palette[m_pic.pixels[n]];
            *p++ = c.r;
            *p++ = c.g;
            *p++ = c.b;
            *p++ = c.a;
        }
        return m_row.data();
    }

private:
    static std::uint32_t Source(std::uint32_t nAt, std::uint32_t nOut, std::uint32_t nIn)
    {
        return static_cast<std::uint32_t>((std::uint64_t{nAt} * 2 + 1) * nIn / (std::uint64_t{nOut} * 2));
    }

    const PngPicture& m_pic;
    ConvThumbSize m_size;
    std::vector<std::uint32_t> m_columns;
    std::vector<std::uint8_t> m_row;
};

// The thumbnail of IN as PNG bytes; false with the lines to tell in rMessages.
bool MakeThumbnail(const ConvThumbnailOptions& options, std::vector<std::uint8_t>& png, std::string& strStatus,
                   std::vector<std::string>& rMessages)
{
    CConvInput input;
    std::string strError;
    if (!input.Read(options.strIn, ITEM_HEAD_SIZE, strError))
    {
        rMessages.push_back(std::move(strError));
        return false;
    }
    std::vector<std::uint8_t>& in = input.Data();
    ExportOptions exportOpt;
    exportOpt.nFileSize = input.FileSize();
    PngPicture pic;
    std::string strNote;
    // A PNG is already a picture: its decoder gives the layout export's picture has.
    if (input.Kind() == EItemKind::Png)
    {
        if (!DecodePng(in.data(), in.size(), nullptr, pic, strError))
        {
            rMessages.push_back(std::move(strError));
            return false;
        }
    }
    else if (!ExportToPicture(in.data(), in.size(), exportOpt, pic, strError, &strNote))
    {
        TellExportRefusal(in, std::move(strError), rMessages);
        return false;
    }
    std::vector<std::uint8_t>().swap(in);
    // The rows read the picture as DecodePng lays it out; anything else is refused, not read past.
    const std::size_t nPixelBytes = pic.bIndexed ? 1 : 4;
    if (pic.nWidth == 0 || pic.nHeight == 0 ||
        pic.pixels.size() != std::uint64_t{pic.nWidth} * pic.nHeight * nPixelBytes)
    {
        rMessages.push_back("the picture is empty: there is nothing to show.");
        return false;
    }
    const ConvThumbSize size = ConvThumbnailSize(pic.nWidth, pic.nHeight, options.nSize);
    PngEncodeImage image;
    image.nWidth = size.nWidth;
    image.nHeight = size.nHeight;
    image.pixels = PNG_PIXELS_RGBA;
    CThumbRows rows(pic, size);
    if (!EncodePng(image, rows, PngEncodeOptions(), png, strError))
    {
        rMessages.push_back(std::move(strError));
        return false;
    }
    strStatus = "size:" + std::to_string(size.nWidth) + "x" + std::to_string(size.nHeight);
    if (!strNote.empty())
        rMessages.push_back(std::move(strNote));
    return true;
}

// Writes png over strOut through a temporary; false with the message when it cannot.
bool SaveThumbnail(const std::string& strOut, const std::vector<std::uint8_t>& png, std::vector<std::string>& rMessages)
{
    try
    {
        CSafeSaveFile file;
        CFileException fe;
        if (!file.Open(strOut.c_str(), &fe))
        {
            rMessages.push_back(AfxFileErrorMessage(strOut.c_str(), fe.GetCauseText(), TRUE).Str());
            return false;
        }
        file.GetFile().Write(png.data(), static_cast<std::uint32_t>(png.size()));
        file.Commit();
        return true;
    }
    catch (const CFileException& e)
    {
        rMessages.push_back(AfxFileErrorMessage(strOut.c_str(), e.GetCauseText(), TRUE).Str());
    }
    return false;
}

}  // namespace

ConvThumbSize ConvThumbnailSize(std::uint32_t nWidth, std::uint32_t nHeight, std::uint32_t nSize)
{
    const std::uint64_t nLonger = nWidth > nHeight ? nWidth : nHeight;
    if (nLonger <= nSize)
    {
        const std::uint32_t k = static_cast<std::uint32_t>(nSize / nLonger);
        return {nWidth * k, nHeight * k};
    }
    // The shorter side to the nearest pixel, and never none.
    auto shrink = [&](std::uint32_t n) {
        const std::uint64_t nScaled = (std::uint64_t{n} * nSize * 2 + nLonger) / (nLonger * 2);
        return static_cast<std::uint32_t>(nScaled == 0 ? 1 : nScaled);
    };
    return {shrink(nWidth), shrink(nHeight)};
}

int RunConvThumbnail(const ConvThumbnailOptions& options, std::FILE* pOut, std::FILE* pErr)
{
    std::vector<std::string> messages;
    std::string strStatus;
    bool bOk = false;
    try
    {
        std::vector<std::uint8_t> png;
        bOk = MakeThumbnail(options, png, strStatus, messages) && SaveThumbnail(options.strOut, png, messages);
    }
    catch (const CFileException& e)
    {
        messages.push_back(AfxFileErrorMessage(options.strIn.c_str(), e.GetCauseText(), FALSE).Str());
    }
    catch (const std::bad_alloc&)
    {
        messages.push_back("not enough memory.");
    }
    catch (const std::exception& e)
    {
        messages.push_back(e.what());
    }
    const std::string strIn = EscapeControls(options.strIn);
    for (const std::string& strLine : messages)
        ConvPrint(pErr, "vellumconv: %s: %s\n", strIn.c_str(), EscapeControls(strLine).c_str());
    if (bOk)
        ConvPrint(pOut, "%s\n", strStatus.c_str());
    ConvFlush(pOut);
    ConvFlush(pErr);
    return bOk ? 0 : 1;
}
