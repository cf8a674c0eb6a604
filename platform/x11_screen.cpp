// Screen capture through MIT-SHM: the server copies the root window into a
// shared segment, so no pixel crosses the socket. Xlib's error handlers are
// process-wide; ours only answer for our own connections and hand every other
// display to the handlers they replaced. A lost connection marks the source
// broken instead of ending the process: Xlib's default I/O error handler
// exits before any per-display exit handler is asked, so both are replaced.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <mutex>
#include <unordered_map>

#include "platform/screen_source.h"

namespace platform {

namespace {

class X11ScreenSource;

std::mutex g_registryMutex;
std::unordered_map<Display*, X11ScreenSource*> g_registry;
XErrorHandler g_previousHandler = nullptr;
XIOErrorHandler g_previousIoHandler = nullptr;
std::once_flag g_handlerOnce;

int OnXError(Display* display, XErrorEvent* event);
int OnXIoError(Display* display);

class X11ScreenSource final : public ScreenSource {
public:
    ~X11ScreenSource() override {
        DestroyImage();
        // Still registered while closing: closing a lost connection raises the
        // I/O error again, and it must not reach the exiting default.
        XCloseDisplay(display_);
        std::lock_guard lock(g_registryMutex);
        const auto it = g_registry.find(display_);
        if (it != g_registry.end() && it->second == this) g_registry.erase(it);
    }

    static std::unique_ptr<X11ScreenSource> Open(const std::string& name) {
        Display* display = XOpenDisplay(name.empty() ? nullptr : name.c_str());
        if (!display) return nullptr;
        std::unique_ptr<X11ScreenSource> source(new X11ScreenSource(display));
        if (!source->Init()) return nullptr;
        return source;
    }

    bool Capture(ScreenImage* out) override {
        if (broken_) return false;
        // Size changes of the root window (resolution switches) arrive as
        // ConfigureNotify; the segment must match the root exactly.
        while (!broken_ && XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == ConfigureNotify && event.xconfigure.window == root_) {
                width_ = event.xconfigure.width;
                height_ = event.xconfigure.height;
            }
        }
        if (broken_) return false;
        if (!image_ || image_->width != width_ || image_->height != height_) {
            DestroyImage();
            if (!CreateImage()) return false;
        }
        errorCode_ = 0;
        if (!XShmGetImage(display_, root_, image_, 0, 0, AllPlanes) || errorCode_ != 0 || broken_) return false;
        out->data = reinterpret_cast<const std::uint8_t*>(image_->data);
        out->width = image_->width;
        out->height = image_->height;
        out->stride = image_->bytes_per_line;
        out->redMask = static_cast<std::uint32_t>(image_->red_mask);
        out->greenMask = static_cast<std::uint32_t>(image_->green_mask);
        out->blueMask = static_cast<std::uint32_t>(image_->blue_mask);
        out->msbFirst = image_->byte_order == MSBFirst;
        return true;
    }

    void SetError(int code) { errorCode_ = code; }
    void SetBroken() { broken_ = true; }

private:
    explicit X11ScreenSource(Display* display) : display_(display) {}

    static void OnConnectionLost(Display*, void* self) { static_cast<X11ScreenSource*>(self)->broken_ = true; }

    bool Init() {
        std::call_once(g_handlerOnce, [] {
            g_previousHandler = XSetErrorHandler(OnXError);
            g_previousIoHandler = XSetIOErrorHandler(OnXIoError);
        });
        {
            std::lock_guard lock(g_registryMutex);
            g_registry[display_] = this;
        }
        XSetIOErrorExitHandler(display_, OnConnectionLost, this);
        if (!XShmQueryExtension(display_)) return false;
        const int screen = DefaultScreen(display_);
        root_ = RootWindow(display_, screen);
        visual_ = DefaultVisual(display_, screen);
        depth_ = DefaultDepth(display_, screen);
        if (visual_->c_class != TrueColor) return false;
        width_ = DisplayWidth(display_, screen);
        height_ = DisplayHeight(display_, screen);
        XSelectInput(display_, root_, StructureNotifyMask);
        return CreateImage();
    }

    bool CreateImage() {
        if (width_ <= 0 || height_ <= 0) return false;
        image_ = XShmCreateImage(display_, visual_, static_cast<unsigned>(depth_), ZPixmap, nullptr, &shm_,
                                 static_cast<unsigned>(width_), static_cast<unsigned>(height_));
        if (!image_) return false;
        if (image_->bits_per_pixel != 32) {
            XDestroyImage(image_);
            image_ = nullptr;
            return false;
        }
        const std::size_t bytes = static_cast<std::size_t>(image_->bytes_per_line) * static_cast<std::size_t>(height_);
        shm_.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (shm_.shmid < 0) {
            XDestroyImage(image_);
            image_ = nullptr;
            return false;
        }
        shm_.shmaddr = static_cast<char*>(shmat(shm_.shmid, nullptr, 0));
        if (shm_.shmaddr == reinterpret_cast<char*>(-1)) {
            shmctl(shm_.shmid, IPC_RMID, nullptr);
            XDestroyImage(image_);
            image_ = nullptr;
            return false;
        }
        image_->data = shm_.shmaddr;
        shm_.readOnly = False;
        errorCode_ = 0;
        const bool attached = XShmAttach(display_, &shm_) && (XSync(display_, False), errorCode_ == 0) && !broken_;
        // Marked for removal now: the segment goes once both sides detach, even
        // if this process dies.
        shmctl(shm_.shmid, IPC_RMID, nullptr);
        if (!attached) {
            shmdt(shm_.shmaddr);
            image_->data = nullptr;
            XDestroyImage(image_);
            image_ = nullptr;
            return false;
        }
        attached_ = true;
        return true;
    }

    void DestroyImage() {
        if (!image_) return;
        if (attached_ && !broken_) {
            XShmDetach(display_, &shm_);
            XSync(display_, False);
        }
        attached_ = false;
        shmdt(shm_.shmaddr);
        image_->data = nullptr;  // the segment is not Xlib's to free
        XDestroyImage(image_);
        image_ = nullptr;
    }

    Display* display_;
    Window root_ = 0;
    Visual* visual_ = nullptr;
    int depth_ = 0;
    int width_ = 0;
    int height_ = 0;
    XImage* image_ = nullptr;
    XShmSegmentInfo shm_{};
    bool attached_ = false;
    int errorCode_ = 0;
    bool broken_ = false;
};

int OnXError(Display* display, XErrorEvent* event) {
    XErrorHandler previous = nullptr;
    {
        std::lock_guard lock(g_registryMutex);
        auto it = g_registry.find(display);
        if (it != g_registry.end()) {
            it->second->SetError(event->error_code);
            return 0;
        }
        previous = g_previousHandler;
    }
    return previous ? previous(display, event) : 0;
}

int OnXIoError(Display* display) {
    XIOErrorHandler previous = nullptr;
    {
        std::lock_guard lock(g_registryMutex);
        auto it = g_registry.find(display);
        if (it != g_registry.end()) {
            // Returning hands over to the display's exit handler, which only
            // marks the source broken.
            it->second->SetBroken();
            return 0;
        }
        previous = g_previousIoHandler;
    }
    return previous ? previous(display) : 0;
}

}  // namespace

std::unique_ptr<ScreenSource> MakeX11ScreenSource(const std::string& display) {
    return X11ScreenSource::Open(display);
}

}  // namespace platform
