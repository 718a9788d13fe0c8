// The recognition stages, byte for byte, on the seeded synthetic-camera
// corpus of StageDigests.h: the turn, frame preparation, thinning, line
// detection, rectification with smoothing, binarisation, and the whole
// marking attempt with its reading. The expected digests were recorded from
// the plain loops before they were tuned for speed; see StageDigests.h. The
// attempt's were recorded again when the card picture's light came to be
// levelled (a change of what is read, not of speed).

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "EveryPath.h"
#include "StageDigests.h"
#include "recognition/DetectionLines.h"
#include "recognition/ImagePrimitives.h"
#include "recognition/RawReading.h"
#include "recognition/RecognitionPipeline.h"
#include "recognition/Rectification.h"

namespace {

using namespace stage_digests;

Fnv1a64& AddRecord(Fnv1a64& h, const LineRecord& r)
{
    for (const PointI& p : {r.start, r.end, r.p1, r.p2})
        h.AddValue(p.x).AddValue(p.y);
    return h.AddValue(r.angle).AddValue(r.length);
}

Fnv1a64& AddGeometry(Fnv1a64& h, const RecognitionContext& ctx)
{
    const CardGeometry& g = ctx.Geometry;
    h.AddValue(g.s).AddValue(g.sx).AddValue(g.sy).AddValue(g.X0).AddValue(g.Y0);
    for (const PointI& p : {g.I1, g.I2, g.I3, g.I4})
        h.AddValue(p.x).AddValue(p.y);
    const CardPlacement& pl = ctx.Placement;
    h.Add(pl.toPicture.h, sizeof pl.toPicture.h).Add(pl.toCard.h, sizeof pl.toCard.h);
    for (const PointI& p : pl.frameCorners)
        h.AddValue(p.x).AddValue(p.y);
    for (const PointI& p : pl.covered)
        h.AddValue(p.x).AddValue(p.y);
    for (const PointI& p : {pl.lowerLeft, pl.lowerRight, pl.upperLeft, pl.upperRight})
        h.AddValue(p.x).AddValue(p.y);
    return h;
}

// The frame as a tick leaves it: the camera sample turned, then prepared.
void LoadPrepared(RecognitionContext& ctx, const CorpusFrame& f, int bytesPerPixel)
{
    const cardprint::CameraSample& s = bytesPerPixel == 4 ? f.sample4 : f.sample3;
    std::memcpy(ctx.FrameBitmap.Data(), s.pixels.data(), ctx.FrameBitmap.ByteSize());
    Rotate180(ctx.FrameBitmap.View());
    PrepareFrame(ctx);
}

// The pipeline's steps up to rectification; the code that stopped it, or 0.
int UpToRectification(RecognitionContext& ctx)
{
    if (BlackShare(ctx.FrameBitmap.View()) > 20)
        return CodeTooMuchBlack;
    if (ctx.Lines.DetectLines(ctx.FrameBitmap.View()) < 2)
        return CodeNoLineCandidates;
    LinePair pair;
    if (!ctx.Lines.ChooseLinePair(ctx.Template, pair))
        return CodeNoLinePair;
    ctx.Ends.bottom = ctx.Lines.Records()[pair.bottom];
    ctx.Ends.top = ctx.Lines.Records()[pair.top];
    if (int code = RefineLineEnds(ctx.LineFrame.View(), ctx.Ends))
        return code;
    return CheckLinePlacement(ctx.LineFrame.View(), ctx.Ends, ctx.IsJd(), ctx.Template);
}

const std::map<std::string, uint64_t> kInputDigests = {
    {"card0/pose0/sample3", 0x2A2CFC10AE6BF40Aull},
    {"card0/pose0/sample4", 0x58932E2EE1FF2916ull},
    {"card0/pose1/sample3", 0x6921B189B6FB6494ull},
    {"card0/pose1/sample4", 0x16C978DBFA82AB1Eull},
    {"card0/pose2/sample3", 0x4C86FFDF093817CAull},
    {"card0/pose2/sample4", 0x8D5F480E4796C406ull},
    {"card1/pose0/sample3", 0xA269B9A426949760ull},
    {"card1/pose0/sample4", 0x800E7D19F6380BFAull},
    {"card1/pose1/sample3", 0x9CF35766183905BFull},
    {"card1/pose1/sample4", 0x54DF4C48A063531Full},
    {"card1/pose2/sample3", 0x9109A299A497B077ull},
    {"card1/pose2/sample4", 0xEA1570EFE754EF1Full},
    {"card2/pose0/sample3", 0xF78D7F026AEB463Cull},
    {"card2/pose0/sample4", 0x22CFC7CF0E670D02ull},
    {"card2/pose1/sample3", 0xD38C5E05B1C4518Aull},
    {"card2/pose1/sample4", 0xC1A88BD2A8126A62ull},
    {"card2/pose2/sample3", 0x052D5CAB18247103ull},
    {"card2/pose2/sample4", 0x3857EE1BED224CE9ull},
    {"card3/pose0/sample3", 0x3057C529C267B1CEull},
    {"card3/pose0/sample4", 0xDF923B71171B9024ull},
    {"card3/pose1/sample3", 0xB96CE9E207313B8Cull},
    {"card3/pose1/sample4", 0xBE4E1255FEB0930Eull},
    {"card3/pose2/sample3", 0x6D81CBA2F27C90CEull},
    {"card3/pose2/sample4", 0x308C52C31B2D2A9Eull},
};

const std::map<std::string, uint64_t> kStageDigests = {
    {"card0/pose0/24bit/turned", 0xAE337C714AC97BDAull},
    {"card0/pose0/24bit/prepared", 0xFE5F97A0EDFD462Eull},
    {"card0/pose0/24bit/blackShare", 0xAD2ACA7747985764ull},
    {"card0/pose0/24bit/thinned", 0x882DB19C3654158Eull},
    {"card0/pose0/24bit/detected", 0xC392FE5F5A9C596Dull},
    {"card0/pose0/24bit/rectified", 0x45C6A61E459469EEull},
    {"card0/pose0/24bit/attempt", 0x3E74382E3DA9BEB0ull},
    {"card0/pose0/24bit/code", 0x0000000000000000ull},
    {"card0/pose0/32bit/turned", 0x1B208026129FF9E3ull},
    {"card0/pose0/32bit/prepared", 0x95D52786E9BF8FF3ull},
    {"card0/pose0/32bit/blackShare", 0xAD2ACA7747985764ull},
    {"card0/pose0/32bit/thinned", 0xD742754ABA669341ull},
    {"card0/pose0/32bit/detected", 0x85EA0B382D2496AAull},
    {"card0/pose0/32bit/rectified", 0x6E212649670C89F6ull},
    {"card0/pose0/32bit/attempt", 0x23E8F0AA9ACEB2A4ull},
    {"card0/pose1/24bit/turned", 0x049E9B95711B4408ull},
    {"card0/pose1/24bit/prepared", 0xE8365C50BF8EA910ull},
    {"card0/pose1/24bit/blackShare", 0xAD2ACA7747985764ull},
    {"card0/pose1/24bit/thinned", 0x2656879DDE602694ull},
    {"card0/pose1/24bit/detected", 0xE96F016EDF102C28ull},
    {"card0/pose1/24bit/rectified", 0xE9527EB269DB1DDDull},
    {"card0/pose1/24bit/attempt", 0xEEB3C44ECA961383ull},
    {"card0/pose1/24bit/code", 0x0000000000000000ull},
    {"card0/pose1/32bit/turned", 0x737A8594D538AC37ull},
    {"card0/pose1/32bit/prepared", 0x76203BBE5438739Full},
    {"card0/pose1/32bit/blackShare", 0xAD2ACA7747985764ull},
    {"card0/pose1/32bit/thinned", 0x7A162DC53D675471ull},
    {"card0/pose1/32bit/detected", 0x4CCA10E619D12E9Bull},
    {"card0/pose1/32bit/rectified", 0x03ACD6FFF7E0A91Full},
    {"card0/pose1/32bit/attempt", 0x86E21FFF64637487ull},
    {"card0/pose2/24bit/turned", 0x0C10DF4D31DA6182ull},
    {"card0/pose2/24bit/prepared", 0x9C049DB4E36AAB4Eull},
    {"card0/pose2/24bit/blackShare", 0xAD2ACA7747985764ull},
    {"card0/pose2/24bit/thinned", 0xB0A8E8EA6E9EF2A6ull},
    {"card0/pose2/24bit/detected", 0x0265D5A537F283B4ull},
    {"card0/pose2/24bit/rectified", 0x5CA100EE2DC76874ull},
    {"card0/pose2/24bit/attempt", 0xBCCEEA44BC8B81D5ull},
    {"card0/pose2/24bit/code", 0x0000000000000000ull},
    {"card0/pose2/32bit/turned", 0xECA9B1728D70E17Bull},
    {"card0/pose2/32bit/prepared", 0x328974A67BF69013ull},
    {"card0/pose2/32bit/blackShare", 0xAD2ACA7747985764ull},
    {"card0/pose2/32bit/thinned", 0x1795E5DFF711F9E1ull},
    {"card0/pose2/32bit/detected", 0x8C3D70FBB287C287ull},
    {"card0/pose2/32bit/rectified", 0xC7E28685AE84CF56ull},
    {"card0/pose2/32bit/attempt", 0x11D6D86D8310F0CBull},
    {"card1/pose0/24bit/turned", 0xB644008EE603EAB4ull},
    {"card1/pose0/24bit/prepared", 0x92166DB483E118D0ull},
    {"card1/pose0/24bit/blackShare", 0x4D25767F9DCE13F5ull},
    {"card1/pose0/24bit/thinned", 0x354565205D38C792ull},
    {"card1/pose0/24bit/detected", 0xC621AE84CC0745E0ull},
    {"card1/pose0/24bit/rectified", 0x3EBF9C597AF30705ull},
    {"card1/pose0/24bit/attempt", 0x9FCFA8A2EEA8D4E1ull},
    {"card1/pose0/24bit/code", 0x0000000000000000ull},
    {"card1/pose0/32bit/turned", 0x96FE560BFD2A1FFFull},
    {"card1/pose0/32bit/prepared", 0xB169488719F5EDF7ull},
    {"card1/pose0/32bit/blackShare", 0x4D25767F9DCE13F5ull},
    {"card1/pose0/32bit/thinned", 0xC3F9B6D6DE729BE1ull},
    {"card1/pose0/32bit/detected", 0x75A9E991F2C39C8Dull},
    {"card1/pose0/32bit/rectified", 0xFBC812B0826ADE11ull},
    {"card1/pose0/32bit/attempt", 0x7DACB7038588EF49ull},
    {"card1/pose1/24bit/turned", 0x3DA22DAB0F5BC0BDull},
    {"card1/pose1/24bit/prepared", 0x96B584454B73958Dull},
    {"card1/pose1/24bit/blackShare", 0x4D25767F9DCE13F5ull},
    {"card1/pose1/24bit/thinned", 0x15615B94EA40CCA6ull},
    {"card1/pose1/24bit/detected", 0x4065E08E0CD8D9D8ull},
    {"card1/pose1/24bit/rectified", 0x8E482FBC2EE223AEull},
    {"card1/pose1/24bit/attempt", 0xFA589063E75107F7ull},
    {"card1/pose1/24bit/code", 0x0000000000000000ull},
    {"card1/pose1/32bit/turned", 0xF7F15E07C4DB76EEull},
    {"card1/pose1/32bit/prepared", 0xA68BA0C420387806ull},
    {"card1/pose1/32bit/blackShare", 0x4D25767F9DCE13F5ull},
    {"card1/pose1/32bit/thinned", 0xAC283F4DEE6C5001ull},
    {"card1/pose1/32bit/detected", 0xDCF9BAF52008952Full},
    {"card1/pose1/32bit/rectified", 0x109CDB4D03AA626Aull},
    {"card1/pose1/32bit/attempt", 0x6968C559EC71D6B5ull},
    {"card1/pose2/24bit/turned", 0x5A097EC023839219ull},
    {"card1/pose2/24bit/prepared", 0x3D02C8AF6F353F71ull},
    {"card1/pose2/24bit/blackShare", 0x4D25767F9DCE13F5ull},
    {"card1/pose2/24bit/thinned", 0x70F93408B2275B38ull},
    {"card1/pose2/24bit/detected", 0x146493225D23233Full},
    {"card1/pose2/24bit/rectified", 0xE8D70635B9A75EE7ull},
    {"card1/pose2/24bit/attempt", 0xBEE8454DEAA655E4ull},
    {"card1/pose2/24bit/code", 0x0000000000000000ull},
    {"card1/pose2/32bit/turned", 0x6B3CE4E1168275AEull},
    {"card1/pose2/32bit/prepared", 0xF5C85A32FB642D26ull},
    {"card1/pose2/32bit/blackShare", 0x4D25767F9DCE13F5ull},
    {"card1/pose2/32bit/thinned", 0x764381E0ACAC7311ull},
    {"card1/pose2/32bit/detected", 0xB2DAB1CA3560618Eull},
    {"card1/pose2/32bit/rectified", 0xB1AFC3035FC9686Bull},
    {"card1/pose2/32bit/attempt", 0x2264FD8C04E7D002ull},
    {"card2/pose0/24bit/turned", 0x58118F71D07C4DCCull},
    {"card2/pose0/24bit/prepared", 0x96A4332A4ED23BDCull},
    {"card2/pose0/24bit/blackShare", 0x4D25767F9DCE13F5ull},
    {"card2/pose0/24bit/thinned", 0x9F754144AA081307ull},
    {"card2/pose0/24bit/detected", 0x9575E9EF9907A018ull},
    {"card2/pose0/24bit/rectified", 0x0594AB98335EF714ull},
    {"card2/pose0/24bit/attempt", 0x0565872150F2B561ull},
    {"card2/pose0/24bit/code", 0x0000000000000000ull},
    {"card2/pose0/32bit/turned", 0x9C1B69C7DB0C364Full},
    {"card2/pose0/32bit/prepared", 0xA45BDBB297D93943ull},
    {"card2/pose0/32bit/blackShare", 0x4D25767F9DCE13F5ull},
    {"card2/pose0/32bit/thinned", 0x420A746249D80680ull},
    {"card2/pose0/32bit/detected", 0xB709148431799F9Full},
    {"card2/pose0/32bit/rectified", 0x1E7C0BFDDCC62ED4ull},
    {"card2/pose0/32bit/attempt", 0xA9A07C54E5812B87ull},
    {"card2/pose1/24bit/turned", 0x210840D80940D22Eull},
    {"card2/pose1/24bit/prepared", 0xCD87D1496FC62B4Eull},
    {"card2/pose1/24bit/blackShare", 0xAD2ACA7747985764ull},
    {"card2/pose1/24bit/thinned", 0xB2830528BEA2C5D1ull},
    {"card2/pose1/24bit/detected", 0xA94ABC671C6ACD29ull},
    {"card2/pose1/24bit/rectified", 0x652A106D44D3227Cull},
    {"card2/pose1/24bit/attempt", 0x26311E0658E694B7ull},
    {"card2/pose1/24bit/code", 0x0000000000000000ull},
    {"card2/pose1/32bit/turned", 0x5D9D88612849102Full},
    {"card2/pose1/32bit/prepared", 0xBE99E10BE1C426F7ull},
    {"card2/pose1/32bit/blackShare", 0xAD2ACA7747985764ull},
    {"card2/pose1/32bit/thinned", 0x12BFB50BAF89DDB0ull},
    {"card2/pose1/32bit/detected", 0x804B457F6A6B360Aull},
    {"card2/pose1/32bit/rectified", 0x59F53460FC74D554ull},
    {"card2/pose1/32bit/attempt", 0xC48D5E49E539B849ull},
    {"card2/pose2/24bit/turned", 0x67738F7CEB93F2EDull},
    {"card2/pose2/24bit/prepared", 0x23D7F53CCC161A4Dull},
    {"card2/pose2/24bit/blackShare", 0xAD2ACA7747985764ull},
    {"card2/pose2/24bit/thinned", 0xDA079D733B30543Aull},
    {"card2/pose2/24bit/detected", 0x6A69FA560B403584ull},
    {"card2/pose2/24bit/rectified", 0x0FF190278A4D1FDCull},
    {"card2/pose2/24bit/attempt", 0xE02BE719DD82B62Eull},
    {"card2/pose2/24bit/code", 0x0000000000000000ull},
    {"card2/pose2/32bit/turned", 0xB41D726D09BB93F0ull},
    {"card2/pose2/32bit/prepared", 0xFEAC22E058E5ABD8ull},
    {"card2/pose2/32bit/blackShare", 0xAD2ACA7747985764ull},
    {"card2/pose2/32bit/thinned", 0xC78A05CB95C14B81ull},
    {"card2/pose2/32bit/detected", 0xCE4F9CFCDA0E6493ull},
    {"card2/pose2/32bit/rectified", 0xF2A871B917262424ull},
    {"card2/pose2/32bit/attempt", 0xC039C372C8A4B5FEull},
    {"card3/pose0/24bit/turned", 0xD31EC70BDABFF3EEull},
    {"card3/pose0/24bit/prepared", 0x82D73217FA77FFA6ull},
    {"card3/pose0/24bit/blackShare", 0x4D25767F9DCE13F5ull},
    {"card3/pose0/24bit/thinned", 0x798EAF92CFACB48Bull},
    {"card3/pose0/24bit/detected", 0x5BF8EE722E66C634ull},
    {"card3/pose0/24bit/rectified", 0x5A0F9B8739A7EDBFull},
    {"card3/pose0/24bit/attempt", 0xF826A33795F3F4B5ull},
    {"card3/pose0/24bit/code", 0x0000000000000000ull},
    {"card3/pose0/32bit/turned", 0x88C52675AA5F3871ull},
    {"card3/pose0/32bit/prepared", 0xBD04A7DDA46F6BF1ull},
    {"card3/pose0/32bit/blackShare", 0x4D25767F9DCE13F5ull},
    {"card3/pose0/32bit/thinned", 0x2E501176346FCEE0ull},
    {"card3/pose0/32bit/detected", 0xD3EE2281285FB33Full},
    {"card3/pose0/32bit/rectified", 0x03E58A5B87960D6Bull},
    {"card3/pose0/32bit/attempt", 0xB347549E308A7BD5ull},
    {"card3/pose1/24bit/turned", 0xAC87B26B8DEB75FCull},
    {"card3/pose1/24bit/prepared", 0xA7A00602A1D17FA4ull},
    {"card3/pose1/24bit/blackShare", 0x4D25767F9DCE13F5ull},
    {"card3/pose1/24bit/thinned", 0x23D6F5148AB7395Full},
    {"card3/pose1/24bit/detected", 0x4EA414D5B7D85FF5ull},
    {"card3/pose1/24bit/rectified", 0x469F354654865CD6ull},
    {"card3/pose1/24bit/attempt", 0x5B1F82E5DA16C594ull},
    {"card3/pose1/24bit/code", 0x0000000000000000ull},
    {"card3/pose1/32bit/turned", 0xEB8C8EBF5BF85A3Bull},
    {"card3/pose1/32bit/prepared", 0xFD564EF404E8A043ull},
    {"card3/pose1/32bit/blackShare", 0x4D25767F9DCE13F5ull},
    {"card3/pose1/32bit/thinned", 0xF2F3E9C5F0EA0D80ull},
    {"card3/pose1/32bit/detected", 0xC1A07A0D7B8CBBC2ull},
    {"card3/pose1/32bit/rectified", 0x778642B91A463E24ull},
    {"card3/pose1/32bit/attempt", 0x437648DA0377F498ull},
    {"card3/pose2/24bit/turned", 0x76BE762C41F232EEull},
    {"card3/pose2/24bit/prepared", 0x6914F69F92D9DD42ull},
    {"card3/pose2/24bit/blackShare", 0x4D25767F9DCE13F5ull},
    {"card3/pose2/24bit/thinned", 0xA5B28876B3FB0DCCull},
    {"card3/pose2/24bit/detected", 0x67EC3EF7A32C563Dull},
    {"card3/pose2/24bit/rectified", 0xBEEC5C2359DF13A2ull},
    {"card3/pose2/24bit/attempt", 0xEFE45085D6C2964Dull},
    {"card3/pose2/24bit/code", 0x0000000000000000ull},
    {"card3/pose2/32bit/turned", 0xC8890B0B6A3637B3ull},
    {"card3/pose2/32bit/prepared", 0xCE55BE30E0836D1Bull},
    {"card3/pose2/32bit/blackShare", 0x4D25767F9DCE13F5ull},
    {"card3/pose2/32bit/thinned", 0x5A82910CE1E62531ull},
    {"card3/pose2/32bit/detected", 0x5DAC92A736AD96FAull},
    {"card3/pose2/32bit/rectified", 0x762F2AECC9A18974ull},
    {"card3/pose2/32bit/attempt", 0xC5553B0B900B1209ull},
};

const std::map<std::string, uint64_t> kPrimitiveDigests = {
    {"card0/pose0/24bit/binarise100", 0x37DA6613E2152997ull},
    {"card0/pose0/24bit/binarise120", 0x30BA7EF648D46FF0ull},
    {"card0/pose0/24bit/binarise0", 0xA5FB2CAFC4E5C8B7ull},
    {"card0/pose0/24bit/binarise256", 0x2D5C1B0AFCAC38B7ull},
    {"card0/pose0/24bit/adaptive0.0", 0x142195B69A9DD73Eull},
    {"card0/pose0/24bit/adaptive0.1", 0x6FB44C45D7675BC9ull},
    {"card0/pose0/24bit/adaptive0.2", 0x6F7B87BF05233DBFull},
    {"card0/pose0/24bit/adaptive0.3", 0x89CB6793B303F3A6ull},
    {"card0/pose0/24bit/adaptive1.0", 0xC0F87CCEA98D8353ull},
    {"card0/pose0/24bit/adaptive1.1", 0x1EB5210A9498C9E9ull},
    {"card0/pose0/24bit/adaptive1.2", 0x7BF07C45D966225Full},
    {"card0/pose0/24bit/adaptive1.3", 0x168D2ED8AD981E06ull},
    {"card0/pose0/24bit/adaptive2.0", 0x142195B69A9DD73Eull},
    {"card0/pose0/24bit/adaptive2.1", 0x6FB44C45D7675BC9ull},
    {"card0/pose0/24bit/adaptive2.2", 0x6F7B87BF05233DBFull},
    {"card0/pose0/24bit/adaptive2.3", 0x89CB6793B303F3A6ull},
    {"card0/pose0/24bit/smoothed", 0x5BD28032AEDC3C21ull},
    {"card0/pose0/24bit/rotate180", 0xAE337C714AC97BDAull},
    {"card0/pose0/24bit/rotateImage", 0x0EA6B9A312820098ull},
    {"card0/pose0/32bit/binarise100", 0x70378E36A642F100ull},
    {"card0/pose0/32bit/binarise120", 0xB144B1B6413B6751ull},
    {"card0/pose0/32bit/binarise0", 0x6631E967BEE5D0C0ull},
    {"card0/pose0/32bit/binarise256", 0xD55D604BE0CE50C0ull},
    {"card0/pose0/32bit/adaptive0.0", 0xCCE95312D346F371ull},
    {"card0/pose0/32bit/adaptive0.1", 0x0413B5D2A484EACAull},
    {"card0/pose0/32bit/adaptive0.2", 0xC47449E220AAF836ull},
    {"card0/pose0/32bit/adaptive0.3", 0xC0BCDEF800345DC5ull},
    {"card0/pose0/32bit/adaptive1.0", 0xA8247A653C396850ull},
    {"card0/pose0/32bit/adaptive1.1", 0xE477FADFEEA8E96Aull},
    {"card0/pose0/32bit/adaptive1.2", 0x49273F94644810D6ull},
    {"card0/pose0/32bit/adaptive1.3", 0xCB0D24E1412624A5ull},
    {"card0/pose0/32bit/adaptive2.0", 0xCCE95312D346F371ull},
    {"card0/pose0/32bit/adaptive2.1", 0x0413B5D2A484EACAull},
    {"card0/pose0/32bit/adaptive2.2", 0xC47449E220AAF836ull},
    {"card0/pose0/32bit/adaptive2.3", 0xC0BCDEF800345DC5ull},
    {"card0/pose0/32bit/smoothed", 0x80F1704ED4725495ull},
    {"card0/pose0/32bit/rotate180", 0x1B208026129FF9E3ull},
    {"card0/pose0/32bit/rotateImage", 0x9F32C8F6310522B9ull},
    {"card0/pose1/24bit/binarise100", 0xD780810CF4B23E48ull},
    {"card0/pose1/24bit/binarise120", 0x8C77F6278E2C4F06ull},
    {"card0/pose1/24bit/binarise0", 0xA5FB2CAFC4E5C8B7ull},
    {"card0/pose1/24bit/binarise256", 0x2D5C1B0AFCAC38B7ull},
    {"card0/pose1/24bit/adaptive0.0", 0x7514E5B43908E460ull},
    {"card0/pose1/24bit/adaptive0.1", 0x18DBAAF1D241A54Full},
    {"card0/pose1/24bit/adaptive0.2", 0xFF4FF1BFFBD35962ull},
    {"card0/pose1/24bit/adaptive0.3", 0x7D2F66F4C0AE531Dull},
    {"card0/pose1/24bit/adaptive1.0", 0x7514E5B43908E460ull},
    {"card0/pose1/24bit/adaptive1.1", 0x18DBAAF1D241A54Full},
    {"card0/pose1/24bit/adaptive1.2", 0xFF4FF1BFFBD35962ull},
    {"card0/pose1/24bit/adaptive1.3", 0x7D2F66F4C0AE531Dull},
    {"card0/pose1/24bit/adaptive2.0", 0x7514E5B43908E460ull},
    {"card0/pose1/24bit/adaptive2.1", 0x18DBAAF1D241A54Full},
    {"card0/pose1/24bit/adaptive2.2", 0xFF4FF1BFFBD35962ull},
    {"card0/pose1/24bit/adaptive2.3", 0x7D2F66F4C0AE531Dull},
    {"card0/pose1/24bit/smoothed", 0x2446920C468EBD3Dull},
    {"card0/pose1/24bit/rotate180", 0x049E9B95711B4408ull},
    {"card0/pose1/24bit/rotateImage", 0x930023CA6089AA10ull},
    {"card0/pose1/32bit/binarise100", 0x0977CB1F7765D831ull},
    {"card0/pose1/32bit/binarise120", 0x154491A709818F61ull},
    {"card0/pose1/32bit/binarise0", 0x6631E967BEE5D0C0ull},
    {"card0/pose1/32bit/binarise256", 0xD55D604BE0CE50C0ull},
    {"card0/pose1/32bit/adaptive0.0", 0x776990CC63CFA261ull},
    {"card0/pose1/32bit/adaptive0.1", 0x130FC7191157B032ull},
    {"card0/pose1/32bit/adaptive0.2", 0xB2D63CC57DB6C829ull},
    {"card0/pose1/32bit/adaptive0.3", 0xC0B490788875316Aull},
    {"card0/pose1/32bit/adaptive1.0", 0x776990CC63CFA261ull},
    {"card0/pose1/32bit/adaptive1.1", 0x130FC7191157B032ull},
    {"card0/pose1/32bit/adaptive1.2", 0xB2D63CC57DB6C829ull},
    {"card0/pose1/32bit/adaptive1.3", 0xC0B490788875316Aull},
    {"card0/pose1/32bit/adaptive2.0", 0x776990CC63CFA261ull},
    {"card0/pose1/32bit/adaptive2.1", 0x130FC7191157B032ull},
    {"card0/pose1/32bit/adaptive2.2", 0xB2D63CC57DB6C829ull},
    {"card0/pose1/32bit/adaptive2.3", 0xC0B490788875316Aull},
    {"card0/pose1/32bit/smoothed", 0x737DA2088E130E75ull},
    {"card0/pose1/32bit/rotate180", 0x737A8594D538AC37ull},
    {"card0/pose1/32bit/rotateImage", 0x0C70404679E85AA3ull},
    {"card0/pose2/24bit/binarise100", 0xF6CA64C0F15BB1D8ull},
    {"card0/pose2/24bit/binarise120", 0xD6DA40A01328BD00ull},
    {"card0/pose2/24bit/binarise0", 0xA5FB2CAFC4E5C8B7ull},
    {"card0/pose2/24bit/binarise256", 0x2D5C1B0AFCAC38B7ull},
    {"card0/pose2/24bit/adaptive0.0", 0x3ADFEBB40FF6F196ull},
    {"card0/pose2/24bit/adaptive0.1", 0xBAF8E80FDA62264Full},
    {"card0/pose2/24bit/adaptive0.2", 0xF0D88A2FE7224CD0ull},
    {"card0/pose2/24bit/adaptive0.3", 0xC5DFE050D92D81A2ull},
    {"card0/pose2/24bit/adaptive1.0", 0x521238995D3CD405ull},
    {"card0/pose2/24bit/adaptive1.1", 0xBAF8E80FDA62264Full},
    {"card0/pose2/24bit/adaptive1.2", 0xF0D88A2FE7224CD0ull},
    {"card0/pose2/24bit/adaptive1.3", 0xC5DFE050D92D81A2ull},
    {"card0/pose2/24bit/adaptive2.0", 0x9F2D222D6879FEC3ull},
    {"card0/pose2/24bit/adaptive2.1", 0x332257E71F861D3Full},
    {"card0/pose2/24bit/adaptive2.2", 0xF0D88A2FE7224CD0ull},
    {"card0/pose2/24bit/adaptive2.3", 0xC5DFE050D92D81A2ull},
    {"card0/pose2/24bit/smoothed", 0x901D32EC54653371ull},
    {"card0/pose2/24bit/rotate180", 0x0C10DF4D31DA6182ull},
    {"card0/pose2/24bit/rotateImage", 0xDC6972D0015A0E66ull},
    {"card0/pose2/32bit/binarise100", 0x60BCD014160F7331ull},
    {"card0/pose2/32bit/binarise120", 0x10C60BDB0DC099F1ull},
    {"card0/pose2/32bit/binarise0", 0x6631E967BEE5D0C0ull},
    {"card0/pose2/32bit/binarise256", 0xD55D604BE0CE50C0ull},
    {"card0/pose2/32bit/adaptive0.0", 0x97A2D0EA95F8B961ull},
    {"card0/pose2/32bit/adaptive0.1", 0xD45C0293128EF50Eull},
    {"card0/pose2/32bit/adaptive0.2", 0x182B58BC45975907ull},
    {"card0/pose2/32bit/adaptive0.3", 0xBD23FEFEE2F0DB29ull},
    {"card0/pose2/32bit/adaptive1.0", 0xCB277E0EC09BDE10ull},
    {"card0/pose2/32bit/adaptive1.1", 0xD45C0293128EF50Eull},
    {"card0/pose2/32bit/adaptive1.2", 0x182B58BC45975907ull},
    {"card0/pose2/32bit/adaptive1.3", 0xBD23FEFEE2F0DB29ull},
    {"card0/pose2/32bit/adaptive2.0", 0x71CDF75B05C1DBB0ull},
    {"card0/pose2/32bit/adaptive2.1", 0x810397B00689241Aull},
    {"card0/pose2/32bit/adaptive2.2", 0x182B58BC45975907ull},
    {"card0/pose2/32bit/adaptive2.3", 0xBD23FEFEE2F0DB29ull},
    {"card0/pose2/32bit/smoothed", 0x4D7B128AD9B97E51ull},
    {"card0/pose2/32bit/rotate180", 0xECA9B1728D70E17Bull},
    {"card0/pose2/32bit/rotateImage", 0xED5CC73BE279B235ull},
    {"card1/pose0/24bit/binarise100", 0x833A9C83909A95D2ull},
    {"card1/pose0/24bit/binarise120", 0x7BA2A56AC96397F9ull},
    {"card1/pose0/24bit/binarise0", 0xA5FB2CAFC4E5C8B7ull},
    {"card1/pose0/24bit/binarise256", 0x2D5C1B0AFCAC38B7ull},
    {"card1/pose0/24bit/adaptive0.0", 0xDEB8F07D5E0BE2ADull},
    {"card1/pose0/24bit/adaptive0.1", 0xB00589D9863B92FCull},
    {"card1/pose0/24bit/adaptive0.2", 0xDFA948FA6C89216Full},
    {"card1/pose0/24bit/adaptive0.3", 0x61A2B82B8E911A8Dull},
    {"card1/pose0/24bit/adaptive1.0", 0xF0841655DEF92320ull},
    {"card1/pose0/24bit/adaptive1.1", 0x7EE393054FE28113ull},
    {"card1/pose0/24bit/adaptive1.2", 0xF3CF36FB4F01683Full},
    {"card1/pose0/24bit/adaptive1.3", 0x1AF8FA93BD9016BDull},
    {"card1/pose0/24bit/adaptive2.0", 0xDEB8F07D5E0BE2ADull},
    {"card1/pose0/24bit/adaptive2.1", 0xB00589D9863B92FCull},
    {"card1/pose0/24bit/adaptive2.2", 0xDFA948FA6C89216Full},
    {"card1/pose0/24bit/adaptive2.3", 0x61A2B82B8E911A8Dull},
    {"card1/pose0/24bit/smoothed", 0x8DBAE6A3271A32A5ull},
    {"card1/pose0/24bit/rotate180", 0xB644008EE603EAB4ull},
    {"card1/pose0/24bit/rotateImage", 0xCA8CDF086A974DD8ull},
    {"card1/pose0/32bit/binarise100", 0xE04B82434FEAE841ull},
    {"card1/pose0/32bit/binarise120", 0x73CB1759BAD5CC10ull},
    {"card1/pose0/32bit/binarise0", 0x6631E967BEE5D0C0ull},
    {"card1/pose0/32bit/binarise256", 0xD55D604BE0CE50C0ull},
    {"card1/pose0/32bit/adaptive0.0", 0xD8C132E17623DB30ull},
    {"card1/pose0/32bit/adaptive0.1", 0x5D2A518C77DEB573ull},
    {"card1/pose0/32bit/adaptive0.2", 0xB8EEBDA9799DBFEAull},
    {"card1/pose0/32bit/adaptive0.3", 0x4C237F1D69B0AE52ull},
    {"card1/pose0/32bit/adaptive1.0", 0x424B359A12093DE1ull},
    {"card1/pose0/32bit/adaptive1.1", 0x24EC6C08882D7EE6ull},
    {"card1/pose0/32bit/adaptive1.2", 0x20103C3096E53E3Aull},
    {"card1/pose0/32bit/adaptive1.3", 0x00125E3E5D41CF82ull},
    {"card1/pose0/32bit/adaptive2.0", 0xD8C132E17623DB30ull},
    {"card1/pose0/32bit/adaptive2.1", 0x5D2A518C77DEB573ull},
    {"card1/pose0/32bit/adaptive2.2", 0xB8EEBDA9799DBFEAull},
    {"card1/pose0/32bit/adaptive2.3", 0x4C237F1D69B0AE52ull},
    {"card1/pose0/32bit/smoothed", 0x5BA4633127DE5065ull},
    {"card1/pose0/32bit/rotate180", 0x96FE560BFD2A1FFFull},
    {"card1/pose0/32bit/rotateImage", 0x7A2D9FFA6AE4297Dull},
    {"card1/pose1/24bit/binarise100", 0x6366D461775F2991ull},
    {"card1/pose1/24bit/binarise120", 0xB1F8CC61546F4CB5ull},
    {"card1/pose1/24bit/binarise0", 0xA5FB2CAFC4E5C8B7ull},
    {"card1/pose1/24bit/binarise256", 0x2D5C1B0AFCAC38B7ull},
    {"card1/pose1/24bit/adaptive0.0", 0x7C67104A28E1AB20ull},
    {"card1/pose1/24bit/adaptive0.1", 0xBD9F0BCEF34F9443ull},
    {"card1/pose1/24bit/adaptive0.2", 0xB82B6D128C6971FDull},
    {"card1/pose1/24bit/adaptive0.3", 0x8F7CA79E907A5D54ull},
    {"card1/pose1/24bit/adaptive1.0", 0x7C67104A28E1AB20ull},
    {"card1/pose1/24bit/adaptive1.1", 0xBD9F0BCEF34F9443ull},
    {"card1/pose1/24bit/adaptive1.2", 0xB82B6D128C6971FDull},
    {"card1/pose1/24bit/adaptive1.3", 0x8F7CA79E907A5D54ull},
    {"card1/pose1/24bit/adaptive2.0", 0x7C67104A28E1AB20ull},
    {"card1/pose1/24bit/adaptive2.1", 0xBD9F0BCEF34F9443ull},
    {"card1/pose1/24bit/adaptive2.2", 0xB82B6D128C6971FDull},
    {"card1/pose1/24bit/adaptive2.3", 0x8F7CA79E907A5D54ull},
    {"card1/pose1/24bit/smoothed", 0xB90FB55FD05944F9ull},
    {"card1/pose1/24bit/rotate180", 0x3DA22DAB0F5BC0BDull},
    {"card1/pose1/24bit/rotateImage", 0xFAA60703307A79E3ull},
    {"card1/pose1/32bit/binarise100", 0xE4DA818BB9F8B950ull},
    {"card1/pose1/32bit/binarise120", 0x14B5D9674502D690ull},
    {"card1/pose1/32bit/binarise0", 0x6631E967BEE5D0C0ull},
    {"card1/pose1/32bit/binarise256", 0xD55D604BE0CE50C0ull},
    {"card1/pose1/32bit/adaptive0.0", 0x30F8FCE04B79F231ull},
    {"card1/pose1/32bit/adaptive0.1", 0x06481D7AC544F1E2ull},
    {"card1/pose1/32bit/adaptive0.2", 0x10FAEE17FDDAA884ull},
    {"card1/pose1/32bit/adaptive0.3", 0x5BEACDFC608B028Full},
    {"card1/pose1/32bit/adaptive1.0", 0x30F8FCE04B79F231ull},
    {"card1/pose1/32bit/adaptive1.1", 0x06481D7AC544F1E2ull},
    {"card1/pose1/32bit/adaptive1.2", 0x10FAEE17FDDAA884ull},
    {"card1/pose1/32bit/adaptive1.3", 0x5BEACDFC608B028Full},
    {"card1/pose1/32bit/adaptive2.0", 0x30F8FCE04B79F231ull},
    {"card1/pose1/32bit/adaptive2.1", 0x06481D7AC544F1E2ull},
    {"card1/pose1/32bit/adaptive2.2", 0x10FAEE17FDDAA884ull},
    {"card1/pose1/32bit/adaptive2.3", 0x5BEACDFC608B028Full},
    {"card1/pose1/32bit/smoothed", 0x3FF194197F537475ull},
    {"card1/pose1/32bit/rotate180", 0xF7F15E07C4DB76EEull},
    {"card1/pose1/32bit/rotateImage", 0x342A48A1DDB33F51ull},
    {"card1/pose2/24bit/binarise100", 0xB17F72AF9BF467F0ull},
    {"card1/pose2/24bit/binarise120", 0x367C0E7538EAA726ull},
    {"card1/pose2/24bit/binarise0", 0xA5FB2CAFC4E5C8B7ull},
    {"card1/pose2/24bit/binarise256", 0x2D5C1B0AFCAC38B7ull},
    {"card1/pose2/24bit/adaptive0.0", 0x03E9B6CF534A6945ull},
    {"card1/pose2/24bit/adaptive0.1", 0xED09C4B6B6A0CD88ull},
    {"card1/pose2/24bit/adaptive0.2", 0x0331B25B2A537478ull},
    {"card1/pose2/24bit/adaptive0.3", 0x4CA154822FAFE588ull},
    {"card1/pose2/24bit/adaptive1.0", 0x03E9B6CF534A6945ull},
    {"card1/pose2/24bit/adaptive1.1", 0x22146C3DDF2BA04Dull},
    {"card1/pose2/24bit/adaptive1.2", 0x48F8898CB474B608ull},
    {"card1/pose2/24bit/adaptive1.3", 0x97B3B52E4E0AB5B8ull},
    {"card1/pose2/24bit/adaptive2.0", 0x03E9B6CF534A6945ull},
    {"card1/pose2/24bit/adaptive2.1", 0xED09C4B6B6A0CD88ull},
    {"card1/pose2/24bit/adaptive2.2", 0x0331B25B2A537478ull},
    {"card1/pose2/24bit/adaptive2.3", 0x4CA154822FAFE588ull},
    {"card1/pose2/24bit/smoothed", 0x9A0F204BBC7BF6C5ull},
    {"card1/pose2/24bit/rotate180", 0x5A097EC023839219ull},
    {"card1/pose2/24bit/rotateImage", 0xFB14DC94B1A61BDBull},
    {"card1/pose2/32bit/binarise100", 0x1F8FB01DBDF969F1ull},
    {"card1/pose2/32bit/binarise120", 0x50F68DD7479E4581ull},
    {"card1/pose2/32bit/binarise0", 0x6631E967BEE5D0C0ull},
    {"card1/pose2/32bit/binarise256", 0xD55D604BE0CE50C0ull},
    {"card1/pose2/32bit/adaptive0.0", 0x5E06BA454F162410ull},
    {"card1/pose2/32bit/adaptive0.1", 0x9BE93D6D5BCAD3BFull},
    {"card1/pose2/32bit/adaptive0.2", 0x1360268CDE2ADF93ull},
    {"card1/pose2/32bit/adaptive0.3", 0x1C36D771C1696A95ull},
    {"card1/pose2/32bit/adaptive1.0", 0x5E06BA454F162410ull},
    {"card1/pose2/32bit/adaptive1.1", 0xBCF42A5A2B74375Eull},
    {"card1/pose2/32bit/adaptive1.2", 0xEC5EC6B1C8046B23ull},
    {"card1/pose2/32bit/adaptive1.3", 0x0A9FDF9889A11745ull},
    {"card1/pose2/32bit/adaptive2.0", 0x5E06BA454F162410ull},
    {"card1/pose2/32bit/adaptive2.1", 0x9BE93D6D5BCAD3BFull},
    {"card1/pose2/32bit/adaptive2.2", 0x1360268CDE2ADF93ull},
    {"card1/pose2/32bit/adaptive2.3", 0x1C36D771C1696A95ull},
    {"card1/pose2/32bit/smoothed", 0xC5DBC17EA276A9A5ull},
    {"card1/pose2/32bit/rotate180", 0x6B3CE4E1168275AEull},
    {"card1/pose2/32bit/rotateImage", 0x87D48CB4639577B6ull},
    {"card2/pose0/24bit/binarise100", 0xBD9CCEE9D2A1022Full},
    {"card2/pose0/24bit/binarise120", 0xA31A4EE170641DC1ull},
    {"card2/pose0/24bit/binarise0", 0xA5FB2CAFC4E5C8B7ull},
    {"card2/pose0/24bit/binarise256", 0x2D5C1B0AFCAC38B7ull},
    {"card2/pose0/24bit/adaptive0.0", 0x14D30D9E1467AC84ull},
    {"card2/pose0/24bit/adaptive0.1", 0xEDD47FF436FB7F20ull},
    {"card2/pose0/24bit/adaptive0.2", 0x05C6FEC383CC96DCull},
    {"card2/pose0/24bit/adaptive0.3", 0x775A3AE0D2679799ull},
    {"card2/pose0/24bit/adaptive1.0", 0xDE8129434E358193ull},
    {"card2/pose0/24bit/adaptive1.1", 0xD1607E679A851FC0ull},
    {"card2/pose0/24bit/adaptive1.2", 0x05C6FEC383CC96DCull},
    {"card2/pose0/24bit/adaptive1.3", 0x775A3AE0D2679799ull},
    {"card2/pose0/24bit/adaptive2.0", 0x14D30D9E1467AC84ull},
    {"card2/pose0/24bit/adaptive2.1", 0xEDD47FF436FB7F20ull},
    {"card2/pose0/24bit/adaptive2.2", 0x05C6FEC383CC96DCull},
    {"card2/pose0/24bit/adaptive2.3", 0x775A3AE0D2679799ull},
    {"card2/pose0/24bit/smoothed", 0xEA103AF0138B46A9ull},
    {"card2/pose0/24bit/rotate180", 0x58118F71D07C4DCCull},
    {"card2/pose0/24bit/rotateImage", 0xE9A673CCAC04888Bull},
    {"card2/pose0/32bit/binarise100", 0x531435DEBF59F640ull},
    {"card2/pose0/32bit/binarise120", 0x39C367E1F96B9290ull},
    {"card2/pose0/32bit/binarise0", 0x6631E967BEE5D0C0ull},
    {"card2/pose0/32bit/binarise256", 0xD55D604BE0CE50C0ull},
    {"card2/pose0/32bit/adaptive0.0", 0x3ECB45A2CCA6EAC1ull},
    {"card2/pose0/32bit/adaptive0.1", 0x00EEAA07B64759CDull},
    {"card2/pose0/32bit/adaptive0.2", 0xEA8F065FBF8BBCFFull},
    {"card2/pose0/32bit/adaptive0.3", 0xA1BB84B226A733DEull},
    {"card2/pose0/32bit/adaptive1.0", 0xFD4647804D9A3D00ull},
    {"card2/pose0/32bit/adaptive1.1", 0xFD5E3B4C22749F6Dull},
    {"card2/pose0/32bit/adaptive1.2", 0xEA8F065FBF8BBCFFull},
    {"card2/pose0/32bit/adaptive1.3", 0xA1BB84B226A733DEull},
    {"card2/pose0/32bit/adaptive2.0", 0x3ECB45A2CCA6EAC1ull},
    {"card2/pose0/32bit/adaptive2.1", 0x00EEAA07B64759CDull},
    {"card2/pose0/32bit/adaptive2.2", 0xEA8F065FBF8BBCFFull},
    {"card2/pose0/32bit/adaptive2.3", 0xA1BB84B226A733DEull},
    {"card2/pose0/32bit/smoothed", 0xBEC531F00BD3AEB9ull},
    {"card2/pose0/32bit/rotate180", 0x9C1B69C7DB0C364Full},
    {"card2/pose0/32bit/rotateImage", 0x434413B8C918EF11ull},
    {"card2/pose1/24bit/binarise100", 0xAE842F9F637DC025ull},
    {"card2/pose1/24bit/binarise120", 0x0F52C026F06E7210ull},
    {"card2/pose1/24bit/binarise0", 0xA5FB2CAFC4E5C8B7ull},
    {"card2/pose1/24bit/binarise256", 0x2D5C1B0AFCAC38B7ull},
    {"card2/pose1/24bit/adaptive0.0", 0x2EF8FE3177C376A4ull},
    {"card2/pose1/24bit/adaptive0.1", 0xD213E91452C91D47ull},
    {"card2/pose1/24bit/adaptive0.2", 0x4D722B1D8B5EFE95ull},
    {"card2/pose1/24bit/adaptive0.3", 0x087CCF3D5DC0EF95ull},
    {"card2/pose1/24bit/adaptive1.0", 0x2FD917D291C8BDF6ull},
    {"card2/pose1/24bit/adaptive1.1", 0x7DDACD213D57B405ull},
    {"card2/pose1/24bit/adaptive1.2", 0x337F9E2B73BDA465ull},
    {"card2/pose1/24bit/adaptive1.3", 0x47FC152BE06A2A75ull},
    {"card2/pose1/24bit/adaptive2.0", 0x2EF8FE3177C376A4ull},
    {"card2/pose1/24bit/adaptive2.1", 0xD213E91452C91D47ull},
    {"card2/pose1/24bit/adaptive2.2", 0x4D722B1D8B5EFE95ull},
    {"card2/pose1/24bit/adaptive2.3", 0x087CCF3D5DC0EF95ull},
    {"card2/pose1/24bit/smoothed", 0xFD06FBA3A4790149ull},
    {"card2/pose1/24bit/rotate180", 0x210840D80940D22Eull},
    {"card2/pose1/24bit/rotateImage", 0xEE5F9EBA9DFC986Aull},
    {"card2/pose1/32bit/binarise100", 0x39C18EC79A7CBE10ull},
    {"card2/pose1/32bit/binarise120", 0x2DE43062682B9FF1ull},
    {"card2/pose1/32bit/binarise0", 0x6631E967BEE5D0C0ull},
    {"card2/pose1/32bit/binarise256", 0xD55D604BE0CE50C0ull},
    {"card2/pose1/32bit/adaptive0.0", 0xB3DC32C046F3D971ull},
    {"card2/pose1/32bit/adaptive0.1", 0x98F739D6905BDB20ull},
    {"card2/pose1/32bit/adaptive0.2", 0xC344920F1E5D12A4ull},
    {"card2/pose1/32bit/adaptive0.3", 0x3CC34EF6F4E4F14Eull},
    {"card2/pose1/32bit/adaptive1.0", 0x3437C59D7F03EDB1ull},
    {"card2/pose1/32bit/adaptive1.1", 0x239BD05C39C7A6B0ull},
    {"card2/pose1/32bit/adaptive1.2", 0x3B5D59C4DBDA7BF4ull},
    {"card2/pose1/32bit/adaptive1.3", 0xB4ACCFE9E15A7F2Eull},
    {"card2/pose1/32bit/adaptive2.0", 0xB3DC32C046F3D971ull},
    {"card2/pose1/32bit/adaptive2.1", 0x98F739D6905BDB20ull},
    {"card2/pose1/32bit/adaptive2.2", 0xC344920F1E5D12A4ull},
    {"card2/pose1/32bit/adaptive2.3", 0x3CC34EF6F4E4F14Eull},
    {"card2/pose1/32bit/smoothed", 0xA01F01C9BC0CD465ull},
    {"card2/pose1/32bit/rotate180", 0x5D9D88612849102Full},
    {"card2/pose1/32bit/rotateImage", 0x85A45C36BC73E20Eull},
    {"card2/pose2/24bit/binarise100", 0xDEA3493B92A17427ull},
    {"card2/pose2/24bit/binarise120", 0xEED3CD19B3E35466ull},
    {"card2/pose2/24bit/binarise0", 0xA5FB2CAFC4E5C8B7ull},
    {"card2/pose2/24bit/binarise256", 0x2D5C1B0AFCAC38B7ull},
    {"card2/pose2/24bit/adaptive0.0", 0x7BE780532F1D3023ull},
    {"card2/pose2/24bit/adaptive0.1", 0x6762CA1F1A81817Eull},
    {"card2/pose2/24bit/adaptive0.2", 0x7BA4A2F1BDABBC6Eull},
    {"card2/pose2/24bit/adaptive0.3", 0xC9F15C4708943CE4ull},
    {"card2/pose2/24bit/adaptive1.0", 0x7BE780532F1D3023ull},
    {"card2/pose2/24bit/adaptive1.1", 0x6762CA1F1A81817Eull},
    {"card2/pose2/24bit/adaptive1.2", 0x7BA4A2F1BDABBC6Eull},
    {"card2/pose2/24bit/adaptive1.3", 0xC9F15C4708943CE4ull},
    {"card2/pose2/24bit/adaptive2.0", 0x7BE780532F1D3023ull},
    {"card2/pose2/24bit/adaptive2.1", 0x6762CA1F1A81817Eull},
    {"card2/pose2/24bit/adaptive2.2", 0x7BA4A2F1BDABBC6Eull},
    {"card2/pose2/24bit/adaptive2.3", 0xC9F15C4708943CE4ull},
    {"card2/pose2/24bit/smoothed", 0x95467560F093545Dull},
    {"card2/pose2/24bit/rotate180", 0x67738F7CEB93F2EDull},
    {"card2/pose2/24bit/rotateImage", 0xE4F314C4A1B703CDull},
    {"card2/pose2/32bit/binarise100", 0x04C47FFAB3393CE0ull},
    {"card2/pose2/32bit/binarise120", 0x66BE0F0130643E61ull},
    {"card2/pose2/32bit/binarise0", 0x6631E967BEE5D0C0ull},
    {"card2/pose2/32bit/binarise256", 0xD55D604BE0CE50C0ull},
    {"card2/pose2/32bit/adaptive0.0", 0x8F6845BA51A5FDD0ull},
    {"card2/pose2/32bit/adaptive0.1", 0x0E110BDC3F208C2Full},
    {"card2/pose2/32bit/adaptive0.2", 0x8370354EA4CAC8A1ull},
    {"card2/pose2/32bit/adaptive0.3", 0x9E0473B63C243F73ull},
    {"card2/pose2/32bit/adaptive1.0", 0x8F6845BA51A5FDD0ull},
    {"card2/pose2/32bit/adaptive1.1", 0x0E110BDC3F208C2Full},
    {"card2/pose2/32bit/adaptive1.2", 0x8370354EA4CAC8A1ull},
    {"card2/pose2/32bit/adaptive1.3", 0x9E0473B63C243F73ull},
    {"card2/pose2/32bit/adaptive2.0", 0x8F6845BA51A5FDD0ull},
    {"card2/pose2/32bit/adaptive2.1", 0x0E110BDC3F208C2Full},
    {"card2/pose2/32bit/adaptive2.2", 0x8370354EA4CAC8A1ull},
    {"card2/pose2/32bit/adaptive2.3", 0x9E0473B63C243F73ull},
    {"card2/pose2/32bit/smoothed", 0x4EA2965FDDAB98B5ull},
    {"card2/pose2/32bit/rotate180", 0xB41D726D09BB93F0ull},
    {"card2/pose2/32bit/rotateImage", 0x8583C46F664BAAB9ull},
    {"card3/pose0/24bit/binarise100", 0x2633718079F70EFAull},
    {"card3/pose0/24bit/binarise120", 0xC17584CBABDC6526ull},
    {"card3/pose0/24bit/binarise0", 0xA5FB2CAFC4E5C8B7ull},
    {"card3/pose0/24bit/binarise256", 0x2D5C1B0AFCAC38B7ull},
    {"card3/pose0/24bit/adaptive0.0", 0xA1F25E16B1A6B7B2ull},
    {"card3/pose0/24bit/adaptive0.1", 0x6E8DA00932E15103ull},
    {"card3/pose0/24bit/adaptive0.2", 0x06AA52EBEE52F2E3ull},
    {"card3/pose0/24bit/adaptive0.3", 0x07C931C0C5DA1864ull},
    {"card3/pose0/24bit/adaptive1.0", 0xCBE388AE0FE0E523ull},
    {"card3/pose0/24bit/adaptive1.1", 0x2D9173B4BB3299E3ull},
    {"card3/pose0/24bit/adaptive1.2", 0xCDCC1606A528CAD3ull},
    {"card3/pose0/24bit/adaptive1.3", 0xA799FFC84D5E3614ull},
    {"card3/pose0/24bit/adaptive2.0", 0xA1F25E16B1A6B7B2ull},
    {"card3/pose0/24bit/adaptive2.1", 0x6E8DA00932E15103ull},
    {"card3/pose0/24bit/adaptive2.2", 0x06AA52EBEE52F2E3ull},
    {"card3/pose0/24bit/adaptive2.3", 0x07C931C0C5DA1864ull},
    {"card3/pose0/24bit/smoothed", 0x7C510108FA71B499ull},
    {"card3/pose0/24bit/rotate180", 0xD31EC70BDABFF3EEull},
    {"card3/pose0/24bit/rotateImage", 0xD354E8FC03741AC5ull},
    {"card3/pose0/32bit/binarise100", 0x1264D912185C6941ull},
    {"card3/pose0/32bit/binarise120", 0xBA5833ACB43855A1ull},
    {"card3/pose0/32bit/binarise0", 0x6631E967BEE5D0C0ull},
    {"card3/pose0/32bit/binarise256", 0xD55D604BE0CE50C0ull},
    {"card3/pose0/32bit/adaptive0.0", 0x83A243A5E4667D41ull},
    {"card3/pose0/32bit/adaptive0.1", 0xEB3D60206277C840ull},
    {"card3/pose0/32bit/adaptive0.2", 0xACDF43E1A17A4EA4ull},
    {"card3/pose0/32bit/adaptive0.3", 0x3E08BA3FCFB26427ull},
    {"card3/pose0/32bit/adaptive1.0", 0x474B1AD047023E10ull},
    {"card3/pose0/32bit/adaptive1.1", 0xC62425938EB27020ull},
    {"card3/pose0/32bit/adaptive1.2", 0x6CF1F8C4E4B11394ull},
    {"card3/pose0/32bit/adaptive1.3", 0x1232D83861C41E57ull},
    {"card3/pose0/32bit/adaptive2.0", 0x83A243A5E4667D41ull},
    {"card3/pose0/32bit/adaptive2.1", 0xEB3D60206277C840ull},
    {"card3/pose0/32bit/adaptive2.2", 0xACDF43E1A17A4EA4ull},
    {"card3/pose0/32bit/adaptive2.3", 0x3E08BA3FCFB26427ull},
    {"card3/pose0/32bit/smoothed", 0x297F33712A12BF65ull},
    {"card3/pose0/32bit/rotate180", 0x88C52675AA5F3871ull},
    {"card3/pose0/32bit/rotateImage", 0x4309EF3912B2BDA1ull},
    {"card3/pose1/24bit/binarise100", 0x52B207D979AAA21Aull},
    {"card3/pose1/24bit/binarise120", 0xE4116B2E3094194Full},
    {"card3/pose1/24bit/binarise0", 0xA5FB2CAFC4E5C8B7ull},
    {"card3/pose1/24bit/binarise256", 0x2D5C1B0AFCAC38B7ull},
    {"card3/pose1/24bit/adaptive0.0", 0x6ACD650E285B8483ull},
    {"card3/pose1/24bit/adaptive0.1", 0x48461C6AD72691CDull},
    {"card3/pose1/24bit/adaptive0.2", 0xAF539D6D02622F36ull},
    {"card3/pose1/24bit/adaptive0.3", 0xBAB8CECD10711686ull},
    {"card3/pose1/24bit/adaptive1.0", 0x2B5CA5DF1FDEFD70ull},
    {"card3/pose1/24bit/adaptive1.1", 0x035746C2D1BB2B6Cull},
    {"card3/pose1/24bit/adaptive1.2", 0xAF539D6D02622F36ull},
    {"card3/pose1/24bit/adaptive1.3", 0xBAB8CECD10711686ull},
    {"card3/pose1/24bit/adaptive2.0", 0x6ACD650E285B8483ull},
    {"card3/pose1/24bit/adaptive2.1", 0x48461C6AD72691CDull},
    {"card3/pose1/24bit/adaptive2.2", 0xAF539D6D02622F36ull},
    {"card3/pose1/24bit/adaptive2.3", 0xBAB8CECD10711686ull},
    {"card3/pose1/24bit/smoothed", 0xFAADF3FEAF1372FDull},
    {"card3/pose1/24bit/rotate180", 0xAC87B26B8DEB75FCull},
    {"card3/pose1/24bit/rotateImage", 0xCC055D4FDDDC559Aull},
    {"card3/pose1/32bit/binarise100", 0x11980E23950E4F21ull},
    {"card3/pose1/32bit/binarise120", 0x756EE2C7EEFAF420ull},
    {"card3/pose1/32bit/binarise0", 0x6631E967BEE5D0C0ull},
    {"card3/pose1/32bit/binarise256", 0xD55D604BE0CE50C0ull},
    {"card3/pose1/32bit/adaptive0.0", 0x2C689AD89B2D8800ull},
    {"card3/pose1/32bit/adaptive0.1", 0x4DC7D6D2A8581F70ull},
    {"card3/pose1/32bit/adaptive0.2", 0x1E618411E8C71ABFull},
    {"card3/pose1/32bit/adaptive0.3", 0x9003DD90C63665FFull},
    {"card3/pose1/32bit/adaptive1.0", 0xC9FCD10CBEE8D9D1ull},
    {"card3/pose1/32bit/adaptive1.1", 0xC851E71DB448CA09ull},
    {"card3/pose1/32bit/adaptive1.2", 0x1E618411E8C71ABFull},
    {"card3/pose1/32bit/adaptive1.3", 0x9003DD90C63665FFull},
    {"card3/pose1/32bit/adaptive2.0", 0x2C689AD89B2D8800ull},
    {"card3/pose1/32bit/adaptive2.1", 0x4DC7D6D2A8581F70ull},
    {"card3/pose1/32bit/adaptive2.2", 0x1E618411E8C71ABFull},
    {"card3/pose1/32bit/adaptive2.3", 0x9003DD90C63665FFull},
    {"card3/pose1/32bit/smoothed", 0x1BC897E517D9D875ull},
    {"card3/pose1/32bit/rotate180", 0xEB8C8EBF5BF85A3Bull},
    {"card3/pose1/32bit/rotateImage", 0x00B1EF0BEEA69D05ull},
    {"card3/pose2/24bit/binarise100", 0x5C24D07A8336526Eull},
    {"card3/pose2/24bit/binarise120", 0xD55ED026EAD14668ull},
    {"card3/pose2/24bit/binarise0", 0xA5FB2CAFC4E5C8B7ull},
    {"card3/pose2/24bit/binarise256", 0x2D5C1B0AFCAC38B7ull},
    {"card3/pose2/24bit/adaptive0.0", 0xC3218E70DC667BDCull},
    {"card3/pose2/24bit/adaptive0.1", 0x6C05DD1A197886C9ull},
    {"card3/pose2/24bit/adaptive0.2", 0xECD5C84D2D5925FCull},
    {"card3/pose2/24bit/adaptive0.3", 0x1249491667FB5699ull},
    {"card3/pose2/24bit/adaptive1.0", 0xD69E369C9C1F5A23ull},
    {"card3/pose2/24bit/adaptive1.1", 0x6C05DD1A197886C9ull},
    {"card3/pose2/24bit/adaptive1.2", 0xECD5C84D2D5925FCull},
    {"card3/pose2/24bit/adaptive1.3", 0x1249491667FB5699ull},
    {"card3/pose2/24bit/adaptive2.0", 0xC3218E70DC667BDCull},
    {"card3/pose2/24bit/adaptive2.1", 0x6C05DD1A197886C9ull},
    {"card3/pose2/24bit/adaptive2.2", 0xECD5C84D2D5925FCull},
    {"card3/pose2/24bit/adaptive2.3", 0x1249491667FB5699ull},
    {"card3/pose2/24bit/smoothed", 0x22A6E3758B79B2C1ull},
    {"card3/pose2/24bit/rotate180", 0x76BE762C41F232EEull},
    {"card3/pose2/24bit/rotateImage", 0x04EEEF0E5C8C0277ull},
    {"card3/pose2/32bit/binarise100", 0x0BD20D75F7182EC1ull},
    {"card3/pose2/32bit/binarise120", 0x5E1508AC7A255DD1ull},
    {"card3/pose2/32bit/binarise0", 0x6631E967BEE5D0C0ull},
    {"card3/pose2/32bit/binarise256", 0xD55D604BE0CE50C0ull},
    {"card3/pose2/32bit/adaptive0.0", 0x38104925BE28E5E1ull},
    {"card3/pose2/32bit/adaptive0.1", 0x5647A29A19309876ull},
    {"card3/pose2/32bit/adaptive0.2", 0xDA2F731515CDCF73ull},
    {"card3/pose2/32bit/adaptive0.3", 0x96C4E14D19DD73B2ull},
    {"card3/pose2/32bit/adaptive1.0", 0xAB9AED81D963CBB0ull},
    {"card3/pose2/32bit/adaptive1.1", 0x5647A29A19309876ull},
    {"card3/pose2/32bit/adaptive1.2", 0xDA2F731515CDCF73ull},
    {"card3/pose2/32bit/adaptive1.3", 0x96C4E14D19DD73B2ull},
    {"card3/pose2/32bit/adaptive2.0", 0x38104925BE28E5E1ull},
    {"card3/pose2/32bit/adaptive2.1", 0x5647A29A19309876ull},
    {"card3/pose2/32bit/adaptive2.2", 0xDA2F731515CDCF73ull},
    {"card3/pose2/32bit/adaptive2.3", 0x96C4E14D19DD73B2ull},
    {"card3/pose2/32bit/smoothed", 0x9863F91E07441FA5ull},
    {"card3/pose2/32bit/rotate180", 0xC8890B0B6A3637B3ull},
    {"card3/pose2/32bit/rotateImage", 0xFB82B4204C45ED73ull},
    {"noise641x481/24bit/rotate180", 0xADEBCDC2E97A8CEBull},
    {"noise641x481/24bit/smoothed", 0x35094077958B01C1ull},
    {"noise641x481/24bit/binarise100", 0x958CF51AED442DF4ull},
    {"noise641x481/24bit/adaptive", 0xFEC2E1F40A88BDEFull},
    {"noise641x481/32bit/rotate180", 0x5296796FF90165ACull},
    {"noise641x481/32bit/smoothed", 0x3DCB93B5736C7D7Eull},
    {"noise641x481/32bit/binarise100", 0xED35815294BD07A4ull},
    {"noise641x481/32bit/adaptive", 0xCC8A2F3E337F3AA4ull},
    {"noise7x3/24bit/rotate180", 0xA3FF1717228EBEB2ull},
    {"noise7x3/24bit/smoothed", 0x9EB621D108A595C4ull},
    {"noise7x3/24bit/binarise100", 0xB25B374DB7969574ull},
    {"noise7x3/24bit/adaptive", 0x5929DFEBE50A152Aull},
    {"noise7x3/32bit/rotate180", 0xBD3685708C747434ull},
    {"noise7x3/32bit/smoothed", 0x35AC7AE47C3A46CAull},
    {"noise7x3/32bit/binarise100", 0x293BCDF5BB9D6F3Bull},
    {"noise7x3/32bit/adaptive", 0xB97BAA85D24829E5ull},
    {"noise1x5/24bit/rotate180", 0x521715B1D2A52B03ull},
    {"noise1x5/24bit/smoothed", 0x7E253B87849372FEull},
    {"noise1x5/24bit/binarise100", 0xCB3E8F66A32197E0ull},
    {"noise1x5/24bit/adaptive", 0x4D42193BB5D36379ull},
    {"noise1x5/32bit/rotate180", 0xF419388352666D62ull},
    {"noise1x5/32bit/smoothed", 0x21AEB4CE88B11283ull},
    {"noise1x5/32bit/binarise100", 0x6667ED0CD6097959ull},
    {"noise1x5/32bit/adaptive", 0x45C4B1D63C0236E9ull},
    {"noise2x2/24bit/rotate180", 0x95C4E673C4419FC5ull},
    {"noise2x2/24bit/smoothed", 0xAA16C9859483C6B0ull},
    {"noise2x2/24bit/binarise100", 0x4B9B1F4B6A5E23BAull},
    {"noise2x2/24bit/adaptive", 0x1A27406E15349E01ull},
    {"noise2x2/32bit/rotate180", 0x24D7BF55C7C6ADF0ull},
    {"noise2x2/32bit/smoothed", 0x8350EE77E7E32532ull},
    {"noise2x2/32bit/binarise100", 0x1DDB4FB9BA962E7Cull},
    {"noise2x2/32bit/adaptive", 0xF7369451F6EDDEACull},
    {"noise801x13/24bit/rotate180", 0x3B60F7C73D1A7007ull},
    {"noise801x13/24bit/smoothed", 0x247F876DF7B698BFull},
    {"noise801x13/24bit/binarise100", 0x27DC0FD2FE1D1656ull},
    {"noise801x13/24bit/adaptive", 0xA8F088E8A56ED83Eull},
    {"noise801x13/32bit/rotate180", 0x12F9E80C8AEE65E8ull},
    {"noise801x13/32bit/smoothed", 0x812FA27697624719ull},
    {"noise801x13/32bit/binarise100", 0xDC989662D4A89F87ull},
    {"noise801x13/32bit/adaptive", 0x2F3F58E5DBB983FAull},
    {"noise800x800/24bit/rotate180", 0x512655FDF2B9C48Eull},
    {"noise800x800/24bit/smoothed", 0xEB74CA2852AADD06ull},
    {"noise800x800/24bit/binarise100", 0x599CC5C589A3F1A9ull},
    {"noise800x800/24bit/adaptive", 0x6441105FFE2FD1CDull},
    {"noise800x800/32bit/rotate180", 0x557F28D90C1FA30Bull},
    {"noise800x800/32bit/smoothed", 0x4B73DC81BFA22A83ull},
    {"noise800x800/32bit/binarise100", 0x4C5F1D0207CF2D77ull},
    {"noise800x800/32bit/adaptive", 0x8273BB18DAA03DFFull},
};

} // namespace

TEST(StageDigests, CorpusFramesAreTheRecordedOnes)
{
    DigestBook book;
    for (const CorpusFrame& f : Corpus()) {
        book.Record(f.name + "/sample3", Fnv1a64().Add(f.sample3.pixels.data(), f.sample3.pixels.size()).Value());
        book.Record(f.name + "/sample4", Fnv1a64().Add(f.sample4.pixels.data(), f.sample4.pixels.size()).Value());
    }
    // When these differ, the synthetic camera draws other pictures than when
    // the stage digests were recorded: record those again from known-good code.
    book.ExpectMatches(kInputDigests, "kInputDigests");
}

TEST(StageDigests, TurnPreparationThinningDetectionRectificationAndAttempt)
{
    OnEveryPath([] {
        DigestBook book;
        for (const CorpusFrame& f : Corpus()) {
            const CardTemplate& t = f.card.record;
            for (int bpp : {3, 4}) {
                const std::string n = f.name + "/" + std::to_string(bpp * 8) + "bit";
                RecognitionContext ctx;
                ctx.SetUp(640, 480, bpp);
                ctx.SetTemplate(t, f.card.fileName);

                const cardprint::CameraSample& s = bpp == 4 ? f.sample4 : f.sample3;
                std::memcpy(ctx.FrameBitmap.Data(), s.pixels.data(), ctx.FrameBitmap.ByteSize());
                Rotate180(ctx.FrameBitmap.View());
                book.Record(n + "/turned", DigestOf(ctx.FrameBitmap.View()));
                PrepareFrame(ctx);
                book.Record(n + "/prepared", Fnv1a64()
                                                 .AddPicture(ctx.FrameBitmap.View())
                                                 .AddPicture(ctx.ColourFrame.View())
                                                 .AddPicture(ctx.LineFrame.View())
                                                 .AddValue(ctx.GreyMode)
                                                 .Value());
                book.Record(n + "/blackShare", Fnv1a64().AddValue(BlackShare(ctx.FrameBitmap.View())).Value());

                Bitmap thinned = ctx.LineFrame.Copy();
                LineDetector::Thin(thinned.View());
                book.Record(n + "/thinned", DigestOf(thinned.View()));

                Bitmap detected = ctx.LineFrame.Copy();
                LineDetector lines;
                const int found = lines.DetectLines(detected.View());
                Fnv1a64 d;
                d.AddPicture(detected.View()).AddValue(found);
                for (const LineRecord& r : lines.Records())
                    AddRecord(d, r);
                book.Record(n + "/detected", d.Value());

                const int stop = UpToRectification(ctx);
                Fnv1a64 r;
                r.AddValue(stop);
                if (stop == 0) {
                    RectifyCard(ctx);
                    r.AddPicture(ctx.RectifiedCard.View()).AddPicture(ctx.CheckCard.View());
                    AddGeometry(r, ctx);
                    const bool upright = IsCardUpright(ctx);
                    r.AddValue(upright).AddValue(ctx.LastThreshold);
                    r.AddPicture(ctx.RectifiedCard.View()).AddPicture(ctx.CheckCard.View());
                    r.AddValue(CheckCardPlacement(ctx));
                }
                book.Record(n + "/rectified", r.Value());

                // The whole attempt from a freshly prepared frame, with the retries.
                RecognitionContext fresh;
                fresh.SetUp(640, 480, bpp);
                fresh.SetTemplate(t, f.card.fileName);
                LoadPrepared(fresh, f, bpp);
                RawReadingAcceptance acceptance(WholeTemplateExam(t), t.AdmColumns);
                const MarkingOutcome out = RunMarkingAttempt(fresh, acceptance);
                Fnv1a64 a;
                a.AddValue(out.code).AddValue(static_cast<int>(out.sound));
                a.AddValue(fresh.Reading).AddValue(fresh.AnswerLetters).AddValue(fresh.AbTypeRead);
                a.AddValue(fresh.GreyMode).AddValue(fresh.LastThreshold);
                a.Add(fresh.StatusText.data(), fresh.StatusText.size());
                AddGeometry(a, fresh);
                for (const Bitmap* b : {&fresh.FrameBitmap, &fresh.ColourFrame, &fresh.LineFrame, &fresh.RectifiedCard,
                                        &fresh.CheckCard, &fresh.Thumbnail})
                    a.AddPicture(b->View());
                book.Record(n + "/attempt", a.Value());
                // Not a digest: the corpus is meant to be read, so the later
                // stages (sampling, acceptance) run on most frames.
                if (bpp == 3)
                    book.Record(n + "/code", static_cast<uint64_t>(out.code));
            }
        }
        book.ExpectMatches(kStageDigests, "kStageDigests");
    });
}

TEST(StageDigests, BinarisationSmoothingAndTurnOnCorpusAndNoise)
{
    OnEveryPath([] {
        DigestBook book;
        Smoother smoother;
        for (const CorpusFrame& f : Corpus()) {
            for (int bpp : {3, 4}) {
                const std::string n = f.name + "/" + std::to_string(bpp * 8) + "bit";
                const cardprint::CameraSample& s = bpp == 4 ? f.sample4 : f.sample3;
                Bitmap colour(640, 480, bpp);
                std::memcpy(colour.Data(), s.pixels.data(), colour.ByteSize());

                for (int threshold : {100, 120, 0, 256}) {
                    Bitmap b = colour.Copy();
                    Binarise(b.View(), threshold, WholePicture(b.View()));
                    book.Record(n + "/binarise" + std::to_string(threshold), DigestOf(b.View()));
                }
                const ScanRect rects[] = {
                    WholePicture(colour.View()), {37, 101, 53, 211}, {-10, 60, 600, 100}, {470, 30, -5, 20}};
                for (int mode = 0; mode <= 2; ++mode)
                    for (int k = 0; k < 4; ++k) {
                        Bitmap b = colour.Copy();
                        const int iso = IsodataThreshold(b.View(), rects[k], mode);
                        const int t = BinariseAdaptive(b.View(), rects[k], mode, mode);
                        book.Record(n + "/adaptive" + std::to_string(mode) + "." + std::to_string(k),
                                    Fnv1a64().AddValue(iso).AddValue(t).AddPicture(b.View()).Value());
                    }

                Bitmap smoothed = colour.Copy();
                Bitmap copy(640, 480, bpp);
                smoother.Smooth3x3(smoothed.View(), copy.View());
                book.Record(n + "/smoothed",
                            Fnv1a64().AddPicture(smoothed.View()).AddPicture(copy.View()).Value());

                Bitmap turned = colour.Copy();
                Rotate180(turned.View());
                book.Record(n + "/rotate180", DigestOf(turned.View()));

                Bitmap rotated(800, 800, bpp);
                rotated.FillWhite();
                RotateImage(colour.View(), rotated.View(), Rotation::For(0.05 * (bpp - 2), 640, 480));
                book.Record(n + "/rotateImage", DigestOf(rotated.View()));
            }
        }
        // Odd sizes and every byte value: the borders and tails of the loops.
        const int sizes[][2] = {{641, 481}, {7, 3}, {1, 5}, {2, 2}, {801, 13}, {800, 800}};
        uint64_t seed = 5;
        for (const auto& size : sizes)
            for (int bpp : {3, 4}) {
                const std::string n = "noise" + std::to_string(size[0]) + "x" + std::to_string(size[1]) + "/" +
                                      std::to_string(bpp * 8) + "bit";
                Bitmap noise(size[0], size[1], bpp);
                FillNoise(noise.Data(), noise.ByteSize(), ++seed);
                Bitmap turned = noise.Copy();
                Rotate180(turned.View());
                book.Record(n + "/rotate180", DigestOf(turned.View()));
                Bitmap smoothed = noise.Copy();
                Smoother own;
                own.Smooth3x3(smoothed.View());
                book.Record(n + "/smoothed", DigestOf(smoothed.View()));
                Bitmap binarised = noise.Copy();
                Binarise(binarised.View(), 100, WholePicture(binarised.View()));
                book.Record(n + "/binarise100", DigestOf(binarised.View()));
                Bitmap adaptive = noise.Copy();
                const int t = BinariseAdaptive(adaptive.View(), WholePicture(adaptive.View()), 1, 2);
                book.Record(n + "/adaptive", Fnv1a64().AddValue(t).AddPicture(adaptive.View()).Value());
            }
        book.ExpectMatches(kPrimitiveDigests, "kPrimitiveDigests");
    });
}
