#include "controls/PaintControl.h"

#include "core/SessionContext.h"
#include "platform/ui/UIManager.h"
#include "platform/ui/UIRender.h"

// Holds the surface's lock when it could be created; without it the calls run unlocked.
class CPaintControlUI::Guard {
public:
    explicit Guard(CPaintControlUI& owner) : m_owner(owner)
    {
        if (m_owner.m_bLockReady) EnterCriticalSection(&m_owner.m_lock);
    }
    ~Guard()
    {
        if (m_owner.m_bLockReady) LeaveCriticalSection(&m_owner.m_lock);
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    CPaintControlUI& m_owner;
};

CPaintControlUI::CPaintControlUI()
{
    m_bLockReady = InitializeCriticalSectionAndSpinCount(&m_lock, 0) != FALSE;
}

CPaintControlUI::~CPaintControlUI()
{
    ClearObjects();
    if (m_bLockReady) DeleteCriticalSection(&m_lock);
}

LPVOID CPaintControlUI::GetInterface(LPCTSTR pstrName)
{
    if (wcscmp(pstrName, L"PaintControl") == 0) return this;
    return CControlUI::GetInterface(pstrName);
}

void CPaintControlUI::DoEvent(TEventUI& event)
{
    switch (event.Type) {
    case UIEVENT_BUTTONDOWN:
    case UIEVENT_DBLCLICK: // a quick second press where the last one began starts a stroke too
        if (m_bPenEnabled) {
            m_bStroking = true;
            StartStroke(event.ptMouse);
        }
        return;
    case UIEVENT_MOUSEMOVE:
        if (m_bPenEnabled && m_bStroking) {
            AddStrokePoint(event.ptMouse);
            Invalidate();
        }
        return;
    case UIEVENT_BUTTONUP:
    case UIEVENT_MOUSELEAVE:
        if (m_bPenEnabled && m_bStroking) {
            m_bStroking = false;
            FinishStroke();
            Invalidate();
        }
        return;
    case UIEVENT_SETCURSOR: {
        HCURSOR cursor = nullptr;
        if (m_bPenEnabled) cursor = LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_LV_PEN_CURSOR));
        SetCursor(cursor ? cursor : LoadCursorW(nullptr, IDC_ARROW));
        return;
    }
    default:
        CControlUI::DoEvent(event);
    }
}

PaintPoint CPaintControlUI::Normalise(POINT pt) const
{
    // Points are relative to the window's client origin scaled by the surface size, so every
    // participant's surface maps them the same way whatever its position.
    PaintPoint p;
    int width = m_rcItem.right - m_rcItem.left;
    int height = m_rcItem.bottom - m_rcItem.top;
    p.x = width != 0 ? static_cast<float>(pt.x) / static_cast<float>(width) : 0.0f;
    p.y = height != 0 ? static_cast<float>(pt.y) / static_cast<float>(height) : 0.0f;
    return p;
}

void CPaintControlUI::StartStroke(POINT pt)
{
    m_liveStroke.points.clear();
    m_liveStroke.tool = 0;
    m_liveStroke.points.push_back(Normalise(pt));
}

void CPaintControlUI::AddStrokePoint(POINT pt)
{
    m_liveStroke.points.push_back(Normalise(pt));
}

void CPaintControlUI::FinishStroke()
{
    if (m_liveStroke.points.size() < 2) {
        // A click without movement leaves no trace.
        m_liveStroke.points.clear();
        return;
    }
    AddLocalStroke(m_liveStroke);
    auto* simplified = new PaintStroke(SimplifyStroke(m_liveStroke));
    m_liveStroke.points.clear();
    if (m_pManager) {
        // The receiving window owns the stroke from here.
        m_pManager->SendNotify(this, DUI_MSGTYPE_PAINTOBJCHANGED, 1, reinterpret_cast<LPARAM>(simplified), false);
    } else {
        delete simplified;
    }
}

void CPaintControlUI::AddLocalStroke(const PaintStroke& stroke)
{
    std::shared_ptr<const PaintObject> object(
        PaintObject::NewStroke(static_cast<int32_t>(SessionContext::Instance()->userId), stroke));
    Guard guard(*this);
    m_objects.push_back({object->OrderKey(), std::move(object)});
}

void CPaintControlUI::ClearObjects()
{
    Guard guard(*this);
    m_objects.clear();
    m_liveStroke.points.clear();
    m_liveStroke.tool = 0;
}

void CPaintControlUI::LoadObjects(const PaintObjectPtrs& objects)
{
    ClearObjects();
    {
        Guard guard(*this);
        for (const PaintObject* object : objects)
            if (object) m_objects.push_back({object->OrderKey(), std::make_shared<const PaintObject>(*object)});
        SortPaintObjects(m_objects);
    }
    Invalidate();
}

void CPaintControlUI::LoadSharedObjects(const KeyedPaintObjects& objects)
{
    ClearObjects();
    {
        Guard guard(*this);
        m_objects.reserve(objects.size());
        for (const KeyedPaintObject& keyed : objects)
            if (keyed.object) m_objects.push_back(keyed);
        SortPaintObjects(m_objects);
    }
    Invalidate();
}

void CPaintControlUI::AppendObject(const PaintObject& object)
{
    {
        auto copy = std::make_shared<const PaintObject>(object);
        Guard guard(*this);
        m_objects.push_back({object.OrderKey(), std::move(copy)});
    }
    Invalidate();
}

void CPaintControlUI::PaintText(HDC hDC)
{
    PaintObjects(hDC);
}

void CPaintControlUI::PaintObjects(HDC hDC)
{
    // A pen object changes only its owner's strokes that follow it in the list.
    std::map<int32_t, PaintPen> pens;
    const PaintPen none{0, 0, 0, 0};
    for (const KeyedPaintObject& keyed : m_objects) {
        const PaintObject* object = keyed.object.get();
        if (object->ownerKey == 0) continue;
        if (object->type == ePaintObject_Pen && object->pen) {
            pens[object->ownerKey] = *object->pen;
        } else if (object->type == ePaintObject_Stroke && object->stroke) {
            auto found = pens.emplace(object->ownerKey, none).first;
            DrawStroke(hDC, *object->stroke, found->second);
        }
    }
    if (m_liveStroke.points.size() >= 2) {
        auto found = pens.find(static_cast<int32_t>(SessionContext::Instance()->userId));
        DrawStroke(hDC, m_liveStroke, found != pens.end() ? found->second : none);
    }
}

void CPaintControlUI::DrawStroke(HDC hDC, const PaintStroke& stroke, const PaintPen& pen)
{
    float width = static_cast<float>(m_rcItem.right - m_rcItem.left);
    float height = static_cast<float>(m_rcItem.bottom - m_rcItem.top);
    for (size_t i = 1; i < stroke.points.size(); ++i) {
        const PaintPoint& p = stroke.points[i - 1];
        const PaintPoint& q = stroke.points[i];
        RECT line{static_cast<LONG>(p.x * width), static_cast<LONG>(p.y * height), static_cast<LONG>(q.x * width),
                  static_cast<LONG>(q.y * height)};
        CRenderEngine::DrawLine(hDC, line, pen.width, GetAdjustColor(pen.colour), pen.style);
    }
}
