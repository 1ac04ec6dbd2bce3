// The 24-byte header in front of every command-channel packet, gateway datagram and probe datagram,
// and the command numbers it carries.
#pragma once
#include "core/ServerNode.h"
#include <cstdint>

enum CommandType : uint16_t {
    eType_Gateway = 800,
    eType_ServerList = 801,
    eType_Probe = 802,
    eType_JoinRoom = 803,
    eType_RoomUsers = 804,
    eType_UserOnline_Notify = 805,
    eType_UserOffline_Notify = 806,
    eType_ChatMsgAlt = 807,
    eType_ChatMsg = 808,
    eType_SpeakState_Notify = 809,
    eType_SpeakState = 810,
    eType_ClassState = 811,
    eType_ForbidSpeaking_Notify = 812,
    eType_Question_Notify = 813,
    eType_Unused814 = 814, // ignored on receipt
    eType_WordArray_Notify = 815,
    eType_CountDwon_Notify = 816,
    eType_LoggedInElsewhere_Notify = 817,
    eType_PaintObject = 818,
    eType_PaintList = 819,
    eType_LiveWhiteboard = 820,
    eType_LiveDoc = 821,
    eType_LiveCamera = 822,
    eType_LiveScreenShare = 823,
    eType_KickOff = 824,
    eType_FileNotice = 825,
    eType_FileList = 826,
    eType_SwapScreen = 827,
    eType_LivingState = 828,
    eType_VideoSpeak = 829,
};

#pragma pack(push, 1)
struct PacketHeader {
    uint16_t type;          // CommandType
    uint16_t marker;        // 0xFFFF in everything we send; not checked on receipt
    uint16_t length;        // payload bytes of this fragment
    uint16_t status;        // reply status (1 = success for 800, 801, 803, 804)
    uint16_t messageId;     // reassembly key part; the round number in probes
    uint8_t fragmentNumber; // 1-based
    uint8_t fragmentCount;  // 1 = not fragmented
    uint32_t sender;        // user id of the sender
    uint16_t serverId;      // the sender's registration server
    uint32_t destination;   // room id, or a user id for commands to one user
    uint16_t reserved;
};
#pragma pack(pop)
static_assert(sizeof(PacketHeader) == 24, "PacketHeader is 24 bytes on the wire");

const uint16_t kHeaderMarker = 0xFFFF;
const uint16_t kStatusOk = 1;
const uint16_t kStatusGatewayCurrent = 0xF830; // the gateway's second way of saying "version current"
const uint32_t kFragmentPayload = 1376;
const uint32_t kFragmentBuffer = 1400; // one header and one full fragment
const uint32_t kMaxFragments = 255;    // the fragment count is one byte
const uint32_t kMaxMessagePayload = kMaxFragments * kFragmentPayload;

// A header with the marker set and fragment 1 of 1; everything else zero.
PacketHeader MakeHeader(uint16_t type, uint16_t length);
