#include "engine/ConvertTarget.h"

namespace {

QList<ConvertTarget> makeAll()
{
    return {
        {QStringLiteral("mp4"), QStringLiteral("MP4 (H.264)"),
         QStringLiteral("Plays everywhere: Mac, Windows, phones, TVs, the web."),
         QStringLiteral("mp4"), ConvertKind::video},
        {QStringLiteral("mp4-hevc"), QStringLiteral("MP4 (HEVC / H.265)"),
         QStringLiteral("About half the size of H.264 at the same quality. Newer devices."),
         QStringLiteral("mp4"), ConvertKind::video},
        {QStringLiteral("mp4-copy"), QStringLiteral("MP4 (rewrap, no re-encode)"),
         QStringLiteral("Moves the video and sound into MP4 without touching them. Fast and lossless, but only works if they're already H.264/HEVC + AAC/MP3/AC-3."),
         QStringLiteral("mp4"), ConvertKind::video},
        {QStringLiteral("mov-prores"), QStringLiteral("MOV (ProRes 422)"),
         QStringLiteral("For editing in Final Cut, Premiere or DaVinci Resolve. Large files."),
         QStringLiteral("mov"), ConvertKind::video},
        {QStringLiteral("mkv"), QStringLiteral("MKV (H.264)"),
         QStringLiteral("Keeps every audio track and subtitle."),
         QStringLiteral("mkv"), ConvertKind::video},
        {QStringLiteral("webm"), QStringLiteral("WebM (VP9)"),
         QStringLiteral("For websites. Slower to convert."),
         QStringLiteral("webm"), ConvertKind::video},
        {QStringLiteral("mp4-part2"), QStringLiteral("MP4 (MPEG-4 Part 2)"),
         QStringLiteral("For old players, TVs, car screens and phones that can't play H.264. Bigger files."),
         QStringLiteral("mp4"), ConvertKind::video},
        {QStringLiteral("avi"), QStringLiteral("AVI (MPEG-4)"),
         QStringLiteral("For old players, TVs and car screens."),
         QStringLiteral("avi"), ConvertKind::video},
        {QStringLiteral("gif"), QStringLiteral("Animated GIF"),
         QStringLiteral("Short silent clips for chats and web pages."),
         QStringLiteral("gif"), ConvertKind::image},
        {QStringLiteral("mp3"), QStringLiteral("MP3"),
         QStringLiteral("Plays on everything."),
         QStringLiteral("mp3"), ConvertKind::audio},
        {QStringLiteral("m4a"), QStringLiteral("M4A (AAC)"),
         QStringLiteral("Apple Music's format. Smaller than MP3 at the same quality."),
         QStringLiteral("m4a"), ConvertKind::audio},
        {QStringLiteral("alac"), QStringLiteral("M4A (Apple Lossless)"),
         QStringLiteral("CD quality, for Apple devices."),
         QStringLiteral("m4a"), ConvertKind::audio},
        {QStringLiteral("flac"), QStringLiteral("FLAC"),
         QStringLiteral("Lossless, open format."),
         QStringLiteral("flac"), ConvertKind::audio},
        {QStringLiteral("wav"), QStringLiteral("WAV"),
         QStringLiteral("Uncompressed. For editing and Windows."),
         QStringLiteral("wav"), ConvertKind::audio},
        {QStringLiteral("aiff"), QStringLiteral("AIFF"),
         QStringLiteral("Uncompressed, Apple's format."),
         QStringLiteral("aiff"), ConvertKind::audio},
        {QStringLiteral("opus"), QStringLiteral("Opus"),
         QStringLiteral("Best quality at small sizes. Newer players."),
         QStringLiteral("opus"), ConvertKind::audio},
        {QStringLiteral("jpeg"), QStringLiteral("JPEG"),
         QStringLiteral("Photos. Small files, plays everywhere."),
         QStringLiteral("jpg"), ConvertKind::image},
        {QStringLiteral("png"), QStringLiteral("PNG"),
         QStringLiteral("Screenshots and graphics. Lossless, keeps transparency."),
         QStringLiteral("png"), ConvertKind::image},
        {QStringLiteral("heic"), QStringLiteral("HEIC"),
         QStringLiteral("iPhone's format. Half the size of JPEG."),
         QStringLiteral("heic"), ConvertKind::image},
        {QStringLiteral("tiff"), QStringLiteral("TIFF"),
         QStringLiteral("Lossless, for print and editing."),
         QStringLiteral("tiff"), ConvertKind::image},
        {QStringLiteral("bmp"), QStringLiteral("BMP"),
         QStringLiteral("Windows bitmap."),
         QStringLiteral("bmp"), ConvertKind::image},
        {QStringLiteral("ico"), QStringLiteral("ICO (Windows icon)"),
         QStringLiteral("Up to 256 × 256."),
         QStringLiteral("ico"), ConvertKind::image},
        {QStringLiteral("gif-still"), QStringLiteral("GIF"),
         QStringLiteral("Simple graphics, 256 colours."),
         QStringLiteral("gif"), ConvertKind::image},
        {QStringLiteral("pdf"), QStringLiteral("PDF"),
         QStringLiteral("Prints and opens anywhere."),
         QStringLiteral("pdf"), ConvertKind::pdf},
        {QStringLiteral("pdf-png"), QStringLiteral("PNG pictures (one per page)"),
         QStringLiteral("Each page as a picture, in a folder."),
         QStringLiteral("png"), ConvertKind::image},
        {QStringLiteral("pdf-jpeg"), QStringLiteral("JPEG pictures (one per page)"),
         QStringLiteral("Each page as a picture, in a folder."),
         QStringLiteral("jpg"), ConvertKind::image},
        {QStringLiteral("pdf-docx"), QStringLiteral("Word (.docx), text only"),
         QStringLiteral("The PDF's text and basic formatting. Layout and pictures aren't kept."),
         QStringLiteral("docx"), ConvertKind::document},
        {QStringLiteral("pdf-txt"), QStringLiteral("Plain text"),
         QStringLiteral("Just the words."),
         QStringLiteral("txt"), ConvertKind::document},
        {QStringLiteral("doc-pdf"), QStringLiteral("PDF"),
         QStringLiteral("Prints and opens anywhere."),
         QStringLiteral("pdf"), ConvertKind::pdf},
        {QStringLiteral("docx"), QStringLiteral("Word (.docx)"),
         QStringLiteral("Microsoft Word, Pages, Google Docs."),
         QStringLiteral("docx"), ConvertKind::document},
        {QStringLiteral("doc"), QStringLiteral("Word 97–2003 (.doc)"),
         QStringLiteral("For old versions of Word."),
         QStringLiteral("doc"), ConvertKind::document},
        {QStringLiteral("odt"), QStringLiteral("OpenDocument (.odt)"),
         QStringLiteral("LibreOffice and OpenOffice."),
         QStringLiteral("odt"), ConvertKind::document},
        {QStringLiteral("rtf"), QStringLiteral("Rich Text (.rtf)"),
         QStringLiteral("Opens in every word processor."),
         QStringLiteral("rtf"), ConvertKind::document},
        {QStringLiteral("html"), QStringLiteral("Web page (.html)"),
         QStringLiteral("Opens in any browser."),
         QStringLiteral("html"), ConvertKind::document},
        {QStringLiteral("txt"), QStringLiteral("Plain text (.txt)"),
         QStringLiteral("Just the words."),
         QStringLiteral("txt"), ConvertKind::document},    };
}

QStringList idsFor(ConvertKind kind)
{
    switch (kind) {
    case ConvertKind::video:
        return {QStringLiteral("mp4"), QStringLiteral("mp4-hevc"), QStringLiteral("mp4-copy"),
                QStringLiteral("mp4-part2"), QStringLiteral("mov-prores"), QStringLiteral("mkv"),
                QStringLiteral("webm"), QStringLiteral("avi"), QStringLiteral("gif"), QStringLiteral("mp3"),
                QStringLiteral("m4a"), QStringLiteral("flac"), QStringLiteral("wav")};
    case ConvertKind::audio:
        return {QStringLiteral("mp3"), QStringLiteral("m4a"), QStringLiteral("alac"), QStringLiteral("flac"),
                QStringLiteral("wav"), QStringLiteral("aiff"), QStringLiteral("opus")};
    case ConvertKind::image:
        return {QStringLiteral("jpeg"), QStringLiteral("png"), QStringLiteral("heic"), QStringLiteral("tiff"),
                QStringLiteral("bmp"), QStringLiteral("ico"), QStringLiteral("gif-still"), QStringLiteral("pdf")};
    case ConvertKind::pdf:
        return {QStringLiteral("pdf-png"), QStringLiteral("pdf-jpeg"), QStringLiteral("pdf-docx"),
                QStringLiteral("pdf-txt")};
    case ConvertKind::document:
        return {QStringLiteral("doc-pdf"), QStringLiteral("docx"), QStringLiteral("doc"), QStringLiteral("odt"),
                QStringLiteral("rtf"), QStringLiteral("html"), QStringLiteral("txt")};
    }
    return {};
}

} // namespace

const QList<ConvertTarget> &ConvertTarget::all()
{
    static const QList<ConvertTarget> table = makeAll();
    return table;
}

QList<ConvertTarget> ConvertTarget::targets(ConvertKind kind)
{
    QList<ConvertTarget> result;
    const QStringList ids = idsFor(kind);
    for (const QString &id : ids) {
        if (const auto target = byID(id))
            result << *target;
    }
    return result;
}

std::optional<ConvertTarget> ConvertTarget::byID(const QString &id)
{
    for (const ConvertTarget &target : all()) {
        if (target.id == id)
            return target;
    }
    return std::nullopt;
}
