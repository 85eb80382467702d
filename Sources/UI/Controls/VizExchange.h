// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Core/Object.h"
#include "Other/BridgeMessages.h"

namespace zel {

class CAudioInterfaceClient;
class CParamInterfaceClientConnector;
class CUpdateTimer;

// `ui:viz-exchange`: fetches the instance's visualisation data for the
// editor. While someone uses the data (touch()), its update timer (made
// from `timer-tag`, at `fps` frames per second) asks the interface client
// (`interface-client`) for a fresh copy every frame and takes the answer in
// at once. Unused for `inactive-timeout` seconds it stops listening, and
// the audio side may stop computing. Closing the editor needs no goodbye:
// the instance forgets a client that disconnects, and what it listened to.
class CVizExchange : public CObject {
public:
    static void setupClass(CClassInfo& info);
    CErrorPtr init() override;

    // A user of the data is still there: listening starts if it had stopped.
    CErrorPtr touch();
    bool isListening() const { return m_listening; }
    // The latest frames of the producer at `path`; null when none came.
    const bridge::CVizData::CStream* stream(const CString& path) const;
    // One frame: the request and its answer.
    CErrorPtr fetch();
    // Fetches unless the data is at most `maxAge` seconds old at `now`.
    CErrorPtr refresh(double now, double maxAge);

private:
    CErrorPtr onTick(CObject* params, CObject* sender);
    CErrorPtr stop();

    CAudioInterfaceClient* m_client = nullptr;
    CParamInterfaceClientConnector* m_connector = nullptr;
    CUpdateTimer* m_timer = nullptr;
    bool m_listening = false;
    double m_touchedSeconds = 0;
    double m_fetchedSeconds = -1;
};

}  // namespace zel
