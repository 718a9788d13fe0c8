// The tick's pixel work, byte for byte: sample conversion (YUY2, I420, MJPG,
// uncompressed) with the turn, and whole frame-loop ticks with recognition's
// preparation and the motion measure, on samples the virtual camera makes
// from the seeded synthetic-camera corpus and on seeded noise that reaches
// every byte value. Expected digests were recorded from the plain loops
// before they were tuned for speed; see tests/recognition/StageDigests.h.

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>

#include "CaptureTestSupport.h"
#include "app/MarkingSettings.h"
#include "capture/CaptureSession.h"
#include "capture/JpegFrame.h"
#include "capture/RecognitionFramePreparation.h"
#include "capture/SampleConversion.h"
#include "capture/VirtualCamera.h"
#include "recognition/StageDigests.h"

namespace {

using namespace stage_digests;

// The corpus pictures as the virtual camera's stack (their rows as they come:
// the orientation does not matter to a conversion).
class CorpusPictures final : public CardPictureProvider {
public:
    explicit CorpusPictures(std::vector<int> frames) : frames_(std::move(frames)) {}
    int Count() override { return int(frames_.size()); }
    bool Picture(int index, std::vector<uint8_t>& bgr) override
    {
        const auto& px = Corpus().at(size_t(frames_.at(size_t(index)))).sample3.pixels;
        bgr.assign(px.begin(), px.end());
        return true;
    }

private:
    std::vector<int> frames_;
};

struct QuietView final : FrameLoopView {
    void ShowCameraTest(const FrameBuffer&) override {}
    void ShowMarkingPreview(const FrameBuffer& f) override { previewDigest = DigestOf(f.Pixels()); }
    void ShowRescoreHint() override {}
    void DrawStatusOverlay() override {}
    void OutlinePreview() override { ++outlines; }
    void ClearStatusText() override { ++clears; }
    uint64_t previewDigest = 0;
    int outlines = 0;
    int clears = 0;
};

const char* NameOf(int32_t format)
{
    switch (format) {
    case subtype::Yuy2:
        return "YUY2";
    case subtype::I420:
        return "I420";
    case subtype::Mjpg:
        return "MJPG";
    default:
        return "RGB";
    }
}

const std::map<std::string, uint64_t> kConversionDigests = {
    {"640x480in640x480/24bit/yuy2", 0xD7FFA31BF8FF66FBull},
    {"640x480in640x480/24bit/i420", 0xD709FBBDA0D3D18Bull},
    {"640x480in640x480/24bit/uncompressed", 0x98531703AC205786ull},
    {"640x480in640x480/24bit/rotate180", 0x773A58C0F82B8179ull},
    {"640x480in640x480/32bit/yuy2", 0x4E1730228606C8E7ull},
    {"640x480in640x480/32bit/i420", 0x7EAFBAAA0F597F47ull},
    {"640x480in640x480/32bit/uncompressed", 0xA94BC9287388D2BAull},
    {"640x480in640x480/32bit/rotate180", 0x4B4F895BB7D31B93ull},
    {"12x6in20x9/24bit/yuy2", 0x90E204EB11C31CDBull},
    {"12x6in20x9/24bit/i420", 0x0E3896A7890300C3ull},
    {"12x6in20x9/24bit/uncompressed", 0xE8F6125CEEB7CD05ull},
    {"12x6in20x9/24bit/rotate180", 0x6295E8A2C6170634ull},
    {"12x6in20x9/32bit/yuy2", 0xA3C473B6C78A05DDull},
    {"12x6in20x9/32bit/i420", 0xD12703A2F473A337ull},
    {"12x6in20x9/32bit/uncompressed", 0x22C52F32CCACA87Aull},
    {"12x6in20x9/32bit/rotate180", 0xFD66CC6339FC68B9ull},
    {"8x2in8x2/24bit/yuy2", 0x41DEC492805C3EAAull},
    {"8x2in8x2/24bit/i420", 0x3E0658A5FF6EEADCull},
    {"8x2in8x2/24bit/uncompressed", 0x804705A02CBA344Bull},
    {"8x2in8x2/24bit/rotate180", 0x1EE5A8894378CC18ull},
    {"8x2in8x2/32bit/yuy2", 0x7C89F2DAE841E809ull},
    {"8x2in8x2/32bit/i420", 0xAB7CC5E21D8BA7F6ull},
    {"8x2in8x2/32bit/uncompressed", 0x08CC575A52C6701Dull},
    {"8x2in8x2/32bit/rotate180", 0xB776269161D33B3Cull},
    {"6x4in8x4/24bit/yuy2", 0x89DA9793663D44DDull},
    {"6x4in8x4/24bit/i420", 0x89DA9793663D44DDull},
    {"6x4in8x4/24bit/uncompressed", 0x0C3D1E0325823E02ull},
    {"6x4in8x4/24bit/rotate180", 0xD53B9731F904A9C5ull},
    {"6x4in8x4/32bit/yuy2", 0x7F522D2393B5F8A6ull},
    {"6x4in8x4/32bit/i420", 0x7F522D2393B5F8A6ull},
    {"6x4in8x4/32bit/uncompressed", 0x07DBB102BA347605ull},
    {"6x4in8x4/32bit/rotate180", 0x2C96551CFA5F6758ull},
    {"YUY2/card0/pose0/sample", 0x95CA408CF36D9886ull},
    {"YUY2/card0/pose0/frame", 0xB6E7AFBB3153668Cull},
    {"YUY2/card1/pose1/sample", 0x410C9ED349E87748ull},
    {"YUY2/card1/pose1/frame", 0x69601FBA8D712F89ull},
    {"YUY2/card2/pose2/sample", 0x326746F09B59FA6Aull},
    {"YUY2/card2/pose2/frame", 0x1A2E2F73A0BD62BBull},
    {"YUY2/card3/pose2/sample", 0x990DC8AFDB8ACE5Full},
    {"YUY2/card3/pose2/frame", 0x3726209B159E7612ull},
    {"I420/card0/pose0/sample", 0x77050DEC33B89AA2ull},
    {"I420/card0/pose0/frame", 0x6151EB954B29B101ull},
    {"I420/card1/pose1/sample", 0x374B0AF6E22A7BC3ull},
    {"I420/card1/pose1/frame", 0x330C9BB02BBF1352ull},
    {"I420/card2/pose2/sample", 0x5654AD7B3074863Eull},
    {"I420/card2/pose2/frame", 0xB504A8FD62020AA4ull},
    {"I420/card3/pose2/sample", 0xA46C2414195605BFull},
    {"I420/card3/pose2/frame", 0xC207D48F04093525ull},
    {"MJPG/card0/pose0/sample", 0x388A9DC70856BB8Full},
    {"MJPG/card0/pose0/frame", 0x57820069B63E03D6ull},
    {"MJPG/card1/pose1/sample", 0x8347E61E8F8AF57Eull},
    {"MJPG/card1/pose1/frame", 0x78D1CD872CD74550ull},
    {"MJPG/card2/pose2/sample", 0xBBE32A7C8C7E52E9ull},
    {"MJPG/card2/pose2/frame", 0x41C410F98D0A37F3ull},
    {"MJPG/card3/pose2/sample", 0x5FC0EFD1CC8E133Aull},
    {"MJPG/card3/pose2/frame", 0x5652847506D1C46Bull},
    {"RGB/card0/pose0/sample", 0x86C7E39D9906F782ull},
    {"RGB/card0/pose0/frame", 0x052BD1F85341D4FBull},
    {"RGB/card1/pose1/sample", 0x226CFA497EFBB8CCull},
    {"RGB/card1/pose1/frame", 0x32080EDE49CA648Dull},
    {"RGB/card2/pose2/sample", 0x81D4BF81AB3C1BC9ull},
    {"RGB/card2/pose2/frame", 0x335DC6AE9C4C74CAull},
    {"RGB/card3/pose2/sample", 0xF298AF5AD55C1249ull},
    {"RGB/card3/pose2/frame", 0x354261FCD0761FB2ull},
};

const std::map<std::string, uint64_t> kTickDigests = {
    {"YUY2/DY/tick0", 0xB90617E0A888C504ull},
    {"YUY2/DY/tick3", 0x707487329945A1BEull},
    {"YUY2/DY/tick6", 0x5C4BACDF94AA3E29ull},
    {"YUY2/DY/tick9", 0xBFF65A1949A174B9ull},
    {"YUY2/DY/tick12", 0xB9F1CCB916864867ull},
    {"YUY2/DY/tick15", 0xE4C15CF0043CC945ull},
    {"YUY2/DY/tick18", 0x79D2D94D353A0AA2ull},
    {"YUY2/DY/tick21", 0xFA504C2603AFA165ull},
    {"YUY2/DY/tick24", 0xBEBE9BCFD7E511A8ull},
    {"YUY2/DY/tick27", 0x76DA3F09CEAD6195ull},
    {"YUY2/DY/tick30", 0xCDE74C159064544Dull},
    {"YUY2/DY/tick33", 0x6DC533B5FF4A89D5ull},
    {"YUY2/DY/tick36", 0xA44D800153ABBE15ull},
    {"YUY2/DY/tick39", 0xC0154BD36DC98783ull},
    {"YUY2/DY/tick42", 0xDE04E5975A24C20Aull},
    {"YUY2/DY/tick45", 0xCE9507A5795CF0E6ull},
    {"YUY2/DY/tick48", 0x9B950E4C56D30CC2ull},
    {"YUY2/DY/tick51", 0x0D4B938BD759C741ull},
    {"YUY2/DY/tick54", 0x7F580FA3103EBFF7ull},
    {"YUY2/DY/tick57", 0x7ED6102A7C5BE960ull},
    {"YUY2/DY/tick60", 0x094A9347D0AA648Dull},
    {"YUY2/DY/tick63", 0xF2D0EAE694E48B87ull},
    {"YUY2/DY/tick66", 0xF14B12EFEDCC56DBull},
    {"YUY2/DY/tick69", 0x5733217E88205FDCull},
    {"YUY2/DY/tick72", 0x98E69B0672A2648Aull},
    {"YUY2/DY/tick75", 0xE55ECC03ABF15D99ull},
    {"YUY2/DY/tick78", 0x6B79FB60B3C36FA0ull},
    {"YUY2/DY/tick81", 0xDD94BE8856D062C0ull},
    {"YUY2/DY/marks", 0x0000000000000001ull},
    {"YUY2/plain/tick0", 0xFC131BACC119520Aull},
    {"YUY2/plain/tick3", 0xE3C0D780F8164B64ull},
    {"YUY2/plain/tick6", 0x4F8EE86DFE266906ull},
    {"YUY2/plain/tick9", 0x30F26D8C9F9649B6ull},
    {"YUY2/plain/tick12", 0xA9C75770EC4E4E56ull},
    {"YUY2/plain/tick15", 0x0D245F741A8DD1CEull},
    {"YUY2/plain/tick18", 0x20D06FDB21DD264Full},
    {"YUY2/plain/tick21", 0x12AF154AE2426E2Full},
    {"YUY2/plain/tick24", 0xBEA8387861EA68E1ull},
    {"YUY2/plain/tick27", 0x99A7E2FBA8947DECull},
    {"YUY2/plain/tick30", 0x898558DF471A3A5Eull},
    {"YUY2/plain/tick33", 0xC71FEF23554E6958ull},
    {"YUY2/plain/tick36", 0x6A494E7CCAF0D1A2ull},
    {"YUY2/plain/tick39", 0x9B9A6CDF3EE9A795ull},
    {"YUY2/plain/tick42", 0xDA9CB235C5733B6Aull},
    {"YUY2/plain/tick45", 0xB9AFECD3DCC11492ull},
    {"YUY2/plain/tick48", 0x188F42A9A9FC519Eull},
    {"YUY2/plain/tick51", 0x48983B25ED67F4EDull},
    {"YUY2/plain/tick54", 0xFD82C86335516447ull},
    {"YUY2/plain/tick57", 0xB5106AC05951EB88ull},
    {"YUY2/plain/tick60", 0xFA0482E25651B293ull},
    {"YUY2/plain/tick63", 0x7F8733595C72B99Dull},
    {"YUY2/plain/tick66", 0xCAA4D293341D0E01ull},
    {"YUY2/plain/tick69", 0x44992BFDE1A5D9A1ull},
    {"YUY2/plain/tick72", 0x7637D0C18A3B48CFull},
    {"YUY2/plain/tick75", 0xE9B964382217680Cull},
    {"YUY2/plain/tick78", 0xA773269597347FE2ull},
    {"YUY2/plain/tick81", 0xB07FD69B68F7E983ull},
    {"YUY2/plain/marks", 0x0000000000000000ull},
    {"I420/DY/tick0", 0x53D7F6FB11A46561ull},
    {"I420/DY/tick3", 0xCD94D32F59637647ull},
    {"I420/DY/tick6", 0x42FA150F8DF32049ull},
    {"I420/DY/tick9", 0xB56551A6CE11346Eull},
    {"I420/DY/tick12", 0xE329F967D85DCDDFull},
    {"I420/DY/tick15", 0x5AA876DD4147FC4Bull},
    {"I420/DY/tick18", 0x1DB6BF15C55DC7F8ull},
    {"I420/DY/tick21", 0xC7C5A67B5D36951Cull},
    {"I420/DY/tick24", 0xF0F12A4F2168333Cull},
    {"I420/DY/tick27", 0xB7586511C9CBD34Eull},
    {"I420/DY/tick30", 0x42D679710CB6F300ull},
    {"I420/DY/tick33", 0x1BE10086DEC4716Aull},
    {"I420/DY/tick36", 0x2F0BA5E8318479D2ull},
    {"I420/DY/tick39", 0xC19E6169E760FC2Cull},
    {"I420/DY/tick42", 0x771606C7D4F89A78ull},
    {"I420/DY/tick45", 0xFC4D0D9FCC9364ACull},
    {"I420/DY/tick48", 0xA5F6D5F341B734E8ull},
    {"I420/DY/tick51", 0xDD3A1D973A168D6Dull},
    {"I420/DY/tick54", 0xF70BFF0A2AF51B62ull},
    {"I420/DY/tick57", 0x9CFD98673DEBD38Aull},
    {"I420/DY/tick60", 0x87A4F2BC90EC09BBull},
    {"I420/DY/tick63", 0x03ACBAECDC2C9CF0ull},
    {"I420/DY/tick66", 0x16C0042B18DF5ECAull},
    {"I420/DY/tick69", 0x11AE44170CDE258Aull},
    {"I420/DY/tick72", 0xCF901473D1568A9Eull},
    {"I420/DY/tick75", 0xEB681E60B2F6C6D3ull},
    {"I420/DY/tick78", 0x46DFB39018A311DFull},
    {"I420/DY/tick81", 0x2FFCFC348FDD75BEull},
    {"I420/DY/marks", 0x0000000000000001ull},
    {"I420/plain/tick0", 0x57235B589E055FD3ull},
    {"I420/plain/tick3", 0x3D54EB051A42603Dull},
    {"I420/plain/tick6", 0x24EDEF3AD5312F22ull},
    {"I420/plain/tick9", 0xE892DFA781C286A5ull},
    {"I420/plain/tick12", 0x2E85661410A08BCEull},
    {"I420/plain/tick15", 0xC1BBB8BAA485409Cull},
    {"I420/plain/tick18", 0xA6A3FEC50A63C76Dull},
    {"I420/plain/tick21", 0x76DFD2A694A8CADEull},
    {"I420/plain/tick24", 0xCA86A337F3C8B5EDull},
    {"I420/plain/tick27", 0xDC0E7FD7D28FAD87ull},
    {"I420/plain/tick30", 0x3F0FE1929481DE67ull},
    {"I420/plain/tick33", 0x0542D79F39FFFEA3ull},
    {"I420/plain/tick36", 0x91A46370B04183FDull},
    {"I420/plain/tick39", 0x53B8661214B5BE76ull},
    {"I420/plain/tick42", 0xC26109A423E00248ull},
    {"I420/plain/tick45", 0xA06ACDFF1A667E7Cull},
    {"I420/plain/tick48", 0xF08A96CDC87FEFDCull},
    {"I420/plain/tick51", 0xB90819217E99395Dull},
    {"I420/plain/tick54", 0x7049BA9566A104CEull},
    {"I420/plain/tick57", 0x38AFE3F49BF1F7DAull},
    {"I420/plain/tick60", 0x09F72DA2B7D6C515ull},
    {"I420/plain/tick63", 0xDA04D15F135B2E2Eull},
    {"I420/plain/tick66", 0xF52FBCF2DB2FA148ull},
    {"I420/plain/tick69", 0xA1325E0242A60873ull},
    {"I420/plain/tick72", 0x71E12DED363C03D7ull},
    {"I420/plain/tick75", 0x48D7C52E78A5EEB6ull},
    {"I420/plain/tick78", 0xB86AA27FFFD87B35ull},
    {"I420/plain/tick81", 0x36F6284C587C3041ull},
    {"I420/plain/marks", 0x0000000000000000ull},
    {"MJPG/DY/tick0", 0xB3D823809F53F054ull},
    {"MJPG/DY/tick3", 0xB975C4D67BA105E6ull},
    {"MJPG/DY/tick6", 0xF22DF9C4D41BAF98ull},
    {"MJPG/DY/tick9", 0xFF6C087854360658ull},
    {"MJPG/DY/tick12", 0x0BB9AA7E6FF03C6Aull},
    {"MJPG/DY/tick15", 0x2D6476DA9BC57505ull},
    {"MJPG/DY/tick18", 0x2A1B14325CE6F3E9ull},
    {"MJPG/DY/tick21", 0xD120357A698F5E74ull},
    {"MJPG/DY/tick24", 0x04E2C9E6E528987Full},
    {"MJPG/DY/tick27", 0xDCEEA38E701AEDE2ull},
    {"MJPG/DY/tick30", 0x3C2D321C784A045Dull},
    {"MJPG/DY/tick33", 0x3F524CB8276FCF31ull},
    {"MJPG/DY/tick36", 0xD485D7AA5CBD0782ull},
    {"MJPG/DY/tick39", 0x536E908326844FB2ull},
    {"MJPG/DY/tick42", 0x082F6BBA2CD7EA64ull},
    {"MJPG/DY/tick45", 0x651EC78AA4223C16ull},
    {"MJPG/DY/tick48", 0x956EEC09B21F04A2ull},
    {"MJPG/DY/tick51", 0x116E481EDF9088C6ull},
    {"MJPG/DY/tick54", 0x1E1EC2540C451F56ull},
    {"MJPG/DY/tick57", 0x515986F454615146ull},
    {"MJPG/DY/tick60", 0x95221164EFC8D13Dull},
    {"MJPG/DY/tick63", 0xC9AF544E962AD19Dull},
    {"MJPG/DY/tick66", 0xB3B6AE766D67A1F5ull},
    {"MJPG/DY/tick69", 0x4AAA51E39F579E9Cull},
    {"MJPG/DY/tick72", 0x163978A312E25DE2ull},
    {"MJPG/DY/tick75", 0x682C12636CE8FBA1ull},
    {"MJPG/DY/tick78", 0x6B9D524506709900ull},
    {"MJPG/DY/tick81", 0x5247B715AC959153ull},
    {"MJPG/DY/marks", 0x0000000000000001ull},
    {"MJPG/plain/tick0", 0x8D7BEBC464324D9Eull},
    {"MJPG/plain/tick3", 0x23B12249F415051Cull},
    {"MJPG/plain/tick6", 0x6D74BE07EC5E4D72ull},
    {"MJPG/plain/tick9", 0xA909B177D24C5C3Bull},
    {"MJPG/plain/tick12", 0xEAB66FF91F329212ull},
    {"MJPG/plain/tick15", 0x16C705F7416BEFDCull},
    {"MJPG/plain/tick18", 0x79E0C7B8B978B21Eull},
    {"MJPG/plain/tick21", 0xEEEDAFD1D22B32B3ull},
    {"MJPG/plain/tick24", 0xADFB2E1D095BD846ull},
    {"MJPG/plain/tick27", 0x12972026788FB344ull},
    {"MJPG/plain/tick30", 0x31948722A0B9BCD1ull},
    {"MJPG/plain/tick33", 0xCF91870BEF00DC5Cull},
    {"MJPG/plain/tick36", 0xF8809C531342BB42ull},
    {"MJPG/plain/tick39", 0x376D90B2C1522B08ull},
    {"MJPG/plain/tick42", 0x2340BE746C45E56Full},
    {"MJPG/plain/tick45", 0x5728524FA0DA3CBCull},
    {"MJPG/plain/tick48", 0x09668E69215933DDull},
    {"MJPG/plain/tick51", 0xDF2AD4E2AEE96CEFull},
    {"MJPG/plain/tick54", 0xE16A8E5B4FE60658ull},
    {"MJPG/plain/tick57", 0x9DEBEDAF3535F1CAull},
    {"MJPG/plain/tick60", 0x8A33B09E08A33231ull},
    {"MJPG/plain/tick63", 0x2A5309850F90829Eull},
    {"MJPG/plain/tick66", 0x64C3B1954F2FC27Bull},
    {"MJPG/plain/tick69", 0x3C03E751E096A8ADull},
    {"MJPG/plain/tick72", 0x3E1DA31C546845A4ull},
    {"MJPG/plain/tick75", 0x1200D0EA8C6FBEF1ull},
    {"MJPG/plain/tick78", 0x8FF8D4730543066Dull},
    {"MJPG/plain/tick81", 0xEE6884AE8E7C8FDDull},
    {"MJPG/plain/marks", 0x0000000000000000ull},
    {"RGB/DY/tick0", 0x202FD867A5AA1C34ull},
    {"RGB/DY/tick3", 0x0FFD1016BC971FFAull},
    {"RGB/DY/tick6", 0xB16A2D61C7E8851Cull},
    {"RGB/DY/tick9", 0xE4D3FD7FA403B372ull},
    {"RGB/DY/tick12", 0xBFBD04B06F68E926ull},
    {"RGB/DY/tick15", 0x9728B4B2B4E192DFull},
    {"RGB/DY/tick18", 0xD9B7D5245CEAB41Cull},
    {"RGB/DY/tick21", 0x6614AC1205E1643Dull},
    {"RGB/DY/tick24", 0xA9F1BB7B62825757ull},
    {"RGB/DY/tick27", 0xCB249128CA884AF7ull},
    {"RGB/DY/tick30", 0x09948D8DEB4F56FBull},
    {"RGB/DY/tick33", 0x211BB5114F3965E1ull},
    {"RGB/DY/tick36", 0x420D832E798DFA37ull},
    {"RGB/DY/tick39", 0x0655EAF8D3269D44ull},
    {"RGB/DY/tick42", 0xE93A6E997B771DD8ull},
    {"RGB/DY/tick45", 0xC7F7B4CA7039B774ull},
    {"RGB/DY/tick48", 0xE0090DDE0B8268C7ull},
    {"RGB/DY/tick51", 0x854574738CD1BA7Aull},
    {"RGB/DY/tick54", 0x775C95D925D2D6BEull},
    {"RGB/DY/tick57", 0xDF12C3F988754564ull},
    {"RGB/DY/tick60", 0xA3F5B3EA271CB299ull},
    {"RGB/DY/tick63", 0x32725D74BCDD372Aull},
    {"RGB/DY/tick66", 0x483ECFAFD9FF02A8ull},
    {"RGB/DY/tick69", 0x39C0B9DD7CD5355Aull},
    {"RGB/DY/tick72", 0xEE4D195E8DB9DDFCull},
    {"RGB/DY/tick75", 0x450A74FC7700F547ull},
    {"RGB/DY/tick78", 0x9865D40B104451EAull},
    {"RGB/DY/tick81", 0xDEBB095E8A2EB98Dull},
    {"RGB/DY/marks", 0x0000000000000001ull},
    {"RGB/plain/tick0", 0xC9A5CA3E61DB175Eull},
    {"RGB/plain/tick3", 0x9FF88D3CAE5F54D0ull},
    {"RGB/plain/tick6", 0x328E3ACFB8BEAB37ull},
    {"RGB/plain/tick9", 0x78575688F4020509ull},
    {"RGB/plain/tick12", 0x16B1AC48B8001AD3ull},
    {"RGB/plain/tick15", 0x62232C75AF5BB608ull},
    {"RGB/plain/tick18", 0x9681E2A17597B45Dull},
    {"RGB/plain/tick21", 0x23D008C77170DB9Full},
    {"RGB/plain/tick24", 0xFB3FD90436C1D82Dull},
    {"RGB/plain/tick27", 0xDAAF4D48364A153Eull},
    {"RGB/plain/tick30", 0x0C418F8FD9B27E14ull},
    {"RGB/plain/tick33", 0xEA50C52AE35254C8ull},
    {"RGB/plain/tick36", 0x6ADBAC969658CC1Cull},
    {"RGB/plain/tick39", 0x0DA1837CE49B00DAull},
    {"RGB/plain/tick42", 0x132D3574EA821854ull},
    {"RGB/plain/tick45", 0x282B27655F06B058ull},
    {"RGB/plain/tick48", 0x35937CD681359077ull},
    {"RGB/plain/tick51", 0x434FAA130F85546Aull},
    {"RGB/plain/tick54", 0xBABDFFB758BEEF12ull},
    {"RGB/plain/tick57", 0x07E59B90D21A12BCull},
    {"RGB/plain/tick60", 0xF8EC5E9A921FF233ull},
    {"RGB/plain/tick63", 0x5362692693BE49A0ull},
    {"RGB/plain/tick66", 0x24CFB0917E477532ull},
    {"RGB/plain/tick69", 0xA429D37E23938FAFull},
    {"RGB/plain/tick72", 0xA0DBDAA99E6F8909ull},
    {"RGB/plain/tick75", 0xC685BAC4160AB2C6ull},
    {"RGB/plain/tick78", 0xF1B29051CFD2BF90ull},
    {"RGB/plain/tick81", 0xEA676227F24AEF32ull},
    {"RGB/plain/marks", 0x0000000000000000ull},
};

} // namespace

TEST(CaptureDigests, ConversionsOfNoiseAndOfCorpusSamples)
{
    DigestBook book;
    BuildYuvTables();
    // Noise samples reach the clip ends of the YUV arithmetic; the
    // destination starts as noise too, so its fourth bytes are checked kept.
    uint64_t seed = 40;
    struct Geometry {
        int width, height, destWidth, destHeight;
    };
    const Geometry geometries[] = {{640, 480, 640, 480}, {12, 6, 20, 9}, {8, 2, 8, 2}, {6, 4, 8, 4}};
    for (const Geometry& g : geometries)
        for (int bpp : {3, 4}) {
            const std::string n = std::to_string(g.width) + "x" + std::to_string(g.height) + "in" +
                                  std::to_string(g.destWidth) + "x" + std::to_string(g.destHeight) + "/" +
                                  std::to_string(bpp * 8) + "bit";
            std::vector<uint8_t> yuy2(Yuy2SampleBytes(g.width, g.height)), i420(I420SampleBytes(g.width, g.height));
            FillNoise(yuy2.data(), yuy2.size(), ++seed);
            FillNoise(i420.data(), i420.size(), ++seed);
            Bitmap start(g.destWidth, g.destHeight, bpp);
            FillNoise(start.Data(), start.ByteSize(), ++seed);

            Bitmap d = start.Copy();
            const bool y = ConvertYUY2(g.width, g.height, yuy2.data(), yuy2.size(), d.View());
            book.Record(n + "/yuy2", Fnv1a64().AddValue(y).AddPicture(d.View()).Value());
            d = start.Copy();
            const bool i = ConvertI420(g.width, g.height, i420.data(), i420.size(), d.View());
            book.Record(n + "/i420", Fnv1a64().AddValue(i).AddPicture(d.View()).Value());
            d = start.Copy();
            const size_t copied = CopyUncompressed(yuy2.data(), yuy2.size(), d.View());
            book.Record(n + "/uncompressed", Fnv1a64().AddValue(copied).AddPicture(d.View()).Value());
            d = start.Copy();
            Rotate180(d.View());
            book.Record(n + "/rotate180", DigestOf(d.View()));
        }

    // Corpus samples through the session: converted and turned, as a tick does.
    const std::vector<int> frames = {0, 4, 8, 11};
    for (int32_t format : {subtype::Yuy2, subtype::I420, subtype::Mjpg, subtype::Rgb}) {
        VirtualCamera camera(std::make_shared<CorpusPictures>(frames), format, VirtualCamera::Pace::Manual);
        auto source = std::make_shared<ManualSource>(format);
        CaptureSession session;
        ASSERT_TRUE(session.StartCapture(source));
        for (size_t k = 0; k < frames.size(); ++k) {
            const std::string n = std::string(NameOf(format)) + "/" + Corpus()[size_t(frames[k])].name;
            std::vector<uint8_t> sample;
            ASSERT_TRUE(camera.RenderSample(int64_t(k) * camera.FramesPerCard() + 20, sample));
            book.Record(n + "/sample", Fnv1a64().Add(sample.data(), sample.size()).Value());
            source->Send(sample);
            const bool converted = session.ConvertNewestSample();
            book.Record(n + "/frame", Fnv1a64().AddValue(converted).AddPicture(session.FrameBitmap().Pixels()).Value());
        }
    }
    book.ExpectMatches(kConversionDigests, "kConversionDigests");
}

TEST(CaptureDigests, FrameLoopTicksWithPreparationAndMotion)
{
    DigestBook book;
    const std::vector<int> frames = {1, 6};
    for (int32_t format : {subtype::Yuy2, subtype::I420, subtype::Mjpg, subtype::Rgb})
        for (const char* templateName : {"DY标准85题自动AB卷.dat", "测试卡.dat"}) {
            const std::string n = std::string(NameOf(format)) + "/" + (templateName[0] == 'D' ? "DY" : "plain");
            VirtualCamera camera(std::make_shared<CorpusPictures>(frames), format, VirtualCamera::Pace::Manual);
            auto source = std::make_shared<ManualSource>(format);
            CaptureSession session;
            RecognitionContext context;
            context.SetTemplate(CardTemplate{}, templateName);
            RecognitionFramePreparation prep(context);
            QuietView view;
            ManualClock clock;
            MarkingSettings settings;
            int marks = 0;
            FrameLoop loop(session, prep, view, clock, settings, [&] { ++marks; });
            ASSERT_TRUE(session.StartCapture(source));
            loop.BtnAutoAnswerCardClick();
            // Sliding in, lying still (marked), sliding out, the next card:
            // every third frame of the first card and a half.
            for (int64_t frame = 0; frame < camera.FramesPerCard() * 3 / 2; frame += 3) {
                std::vector<uint8_t> sample;
                ASSERT_TRUE(camera.RenderSample(frame, sample));
                source->Send(sample);
                clock.now += 300;
                loop.Tick(ActivePage::Marking);
                Fnv1a64 h;
                h.AddPicture(session.FrameBitmap().Pixels()).AddValue(view.previewDigest);
                h.AddPicture(context.FrameBitmap.View()).AddPicture(context.ColourFrame.View());
                h.AddPicture(context.LineFrame.View()).AddValue(context.GreyMode);
                h.AddPicture(loop.PreviousFrame().Pixels());
                h.AddValue(loop.LastMotion()).AddValue(loop.PrevMotion()).AddValue(loop.MarkLevel());
                h.AddValue(loop.Tolerance()).AddValue(loop.MarkedWaiting()).AddValue(loop.LastTick());
                h.AddValue(marks).AddValue(view.outlines).AddValue(view.clears);
                book.Record(n + "/tick" + std::to_string(frame), h.Value());
            }
            // Not a digest: the sequence must reach a marking at all.
            book.Record(n + "/marks", uint64_t(marks));
        }
    book.ExpectMatches(kTickDigests, "kTickDigests");
}
