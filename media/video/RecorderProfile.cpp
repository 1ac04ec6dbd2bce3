#include "media/video/RecorderProfile.h"

// The pixel-aspect-ratio extension belongs to the video stream: a writer registers data unit extensions per
// stream, so it sits in the video stream's configuration, after its media type.
const char* const RecorderProfileTemplate =
    "<profile version=\"589824\" storageformat=\"1\" name=\"Profile\" description=\"lv wmv recorder Profile\">\r\n"
    "  <streamconfig majortype=\"{73647561-0000-0010-8000-00AA00389B71}\" streamnumber=\"1\" "
    "streamname=\"Audio Stream\" inputname=\"Audio\" bitrate=\"64000\" bufferwindow=\"3000\" "
    "reliabletransport=\"0\" decodercomplexity=\"\" rfc1766langid=\"zh-cn\">\r\n"
    "    <wmmediatype subtype=\"{00000161-0000-0010-8000-00AA00389B71}\" bfixedsizesamples=\"1\" "
    "btemporalcompression=\"0\" lsamplesize=\"0\">\r\n"
    "      <waveformatex wFormatTag=\"353\" nChannels=\"1\" nSamplesPerSec=\"16000\" nAvgBytesPerSec=\"2000\" "
    "nBlockAlign=\"640\" wBitsPerSample=\"16\" codecdata=\"002200002E0000000000\"/>\r\n"
    "    </wmmediatype>\r\n"
    "  </streamconfig>\r\n"
    "  <streamconfig majortype=\"{73646976-0000-0010-8000-00AA00389B71}\" streamnumber=\"2\" "
    "streamname=\"Video Stream\" inputname=\"Video\" bitrate=\"{_MY_V_BR_}\" bufferwindow=\"10000\" "
    "reliabletransport=\"0\" decodercomplexity=\"\" rfc1766langid=\"zh-cn\">\r\n"
    "    <videomediaprops maxkeyframespacing=\"50000000\" quality=\"50\"/>\r\n"
    "    <wmmediatype subtype=\"{33564D57-0000-0010-8000-00AA00389B71}\" bfixedsizesamples=\"0\" "
    "btemporalcompression=\"1\" lsamplesize=\"0\">\r\n"
    "      <videoinfoheader dwbitrate=\"{_MY_V_BR_}\" dwbiterrorrate=\"0\" avgtimeperframe=\"{_MY_FPS_}\">\r\n"
    "        <rcsource left=\"0\" top=\"0\" right=\"{_MY_WIDTH_}\" bottom=\"{_MY_HEIGHT_}\"/>\r\n"
    "        <rctarget left=\"0\" top=\"0\" right=\"{_MY_WIDTH_}\" bottom=\"{_MY_HEIGHT_}\"/>\r\n"
    "        <bitmapinfoheader biwidth=\"{_MY_WIDTH_}\" biheight=\"{_MY_HEIGHT_}\" biplanes=\"1\" "
    "bibitcount=\"24\" bicompression=\"WMV3\" bisizeimage=\"0\" bixpelspermeter=\"0\" biypelspermeter=\"0\" "
    "biclrused=\"0\" biclrimportant=\"0\"/>\r\n"
    "      </videoinfoheader>\r\n"
    "    </wmmediatype>\r\n"
    "    <dataunitextension extensionsystemid=\"{1B1EE554-F9EA-4BC8-821A-376B74E4C4B8}\" "
    "extensiondatasize=\"2\" extensionsysteminfo=\"\"/>\r\n"
    "  </streamconfig>\r\n"
    "</profile>\r\n";

namespace {

void ReplaceAll(std::string& text, const std::string& placeholder, const std::string& value)
{
    for (size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
}

} // namespace

std::string FillRecorderProfile(const std::string& profileTemplate, int width, int height, int videoKbps,
                                int framesPerSecond)
{
    if (framesPerSecond < 1)
        return std::string();
    std::string profile = profileTemplate;
    ReplaceAll(profile, "{_MY_WIDTH_}", std::to_string(width));
    ReplaceAll(profile, "{_MY_HEIGHT_}", std::to_string(height));
    ReplaceAll(profile, "{_MY_V_BR_}", std::to_string(static_cast<long long>(videoKbps) * 1000));
    ReplaceAll(profile, "{_MY_FPS_}", std::to_string((100000 / framesPerSecond) * 100));
    return profile;
}
