// Display lists that hold commands of the emulated extensions. The driver cannot compile those
// commands, so the layer splits each list it sees compiled: the driver's own commands go into
// driver lists (the application's name for the first part, names of the layer's own for the
// others), and between two parts the layer keeps the emulated command itself. Calling the list
// runs the parts in order, each driver part after the draw preparation of its draws, so the
// emulated state a part draws with is the state the commands before it left. Lists are split
// rather than recorded whole so that the driver still compiles, and validates, all of its own
// commands.
#include <mutex>

#include "legacygl/layer.h"

namespace legacygl {

namespace {

// The GL's bound on display lists calling display lists.
constexpr int kMaxListNesting = 64;
// The driver lists of the parts after the first are named from here up: applications that
// choose their own small names never meet them.
constexpr GLuint kFirstPartName = 0x40000000;

}  // namespace

// The recorded lists of a share group: lists are shared as the driver's are.
struct Layer::ListStore {
    std::mutex lock;
    std::map<GLuint, std::shared_ptr<const RecordedList>> lists;
    GLuint nextPart = kFirstPartName;
};

void Layer::AttachLists() { lists_ = &Group().Object<ListStore>(); }

struct Layer::RecordedList {
    struct Part {
        GLuint driverList = 0;  // a driver list, or else the command
        bool draws = false;
        GLenum error = GL_NO_ERROR;  // raised when the part is called
        Command command;
    };
    std::vector<Part> parts;
};

namespace {

// Deletes the driver lists the layer made for a recording (not the application's own name).
void DeleteParts(const NextGl& next, GLuint name, const Layer::RecordedList& list) {
    for (const auto& part : list.parts)
        if (part.driverList != 0 && part.driverList != name && next.glDeleteLists)
            next.glDeleteLists(part.driverList, 1);
}

// The offsets of glCallLists, or false for a type it does not take.
bool ListOffsets(GLsizei n, GLenum type, const void* lists, std::vector<GLuint>* out) {
    const auto* bytes = static_cast<const GLubyte*>(lists);
    for (GLsizei i = 0; i < n; ++i) {
        GLuint value;
        switch (type) {
            case GL_BYTE:
                value = GLuint(static_cast<const GLbyte*>(lists)[i]);
                break;
            case GL_UNSIGNED_BYTE:
                value = bytes[i];
                break;
            case GL_SHORT:
                value = GLuint(static_cast<const GLshort*>(lists)[i]);
                break;
            case GL_UNSIGNED_SHORT:
                value = static_cast<const GLushort*>(lists)[i];
                break;
            case GL_INT:
                value = GLuint(static_cast<const GLint*>(lists)[i]);
                break;
            case GL_UNSIGNED_INT:
                value = static_cast<const GLuint*>(lists)[i];
                break;
            case GL_FLOAT:
                value = GLuint(static_cast<const GLfloat*>(lists)[i]);
                break;
            case GL_2_BYTES:
                value = GLuint(bytes[2 * i]) << 8 | bytes[2 * i + 1];
                break;
            case GL_3_BYTES:
                value =
                    GLuint(bytes[3 * i]) << 16 | GLuint(bytes[3 * i + 1]) << 8 | bytes[3 * i + 2];
                break;
            case GL_4_BYTES:
                value = GLuint(bytes[4 * i]) << 24 | GLuint(bytes[4 * i + 1]) << 16 |
                        GLuint(bytes[4 * i + 2]) << 8 | bytes[4 * i + 3];
                break;
            default:
                return false;
        }
        out->push_back(value);
    }
    return true;
}

}  // namespace

GLuint Layer::NewPartName() {
    ListStore& store = *lists_;
    std::lock_guard<std::mutex> hold(store.lock);
    while (next_.glIsList && next_.glIsList(store.nextPart)) ++store.nextPart;
    return store.nextPart++;
}

void Layer::OpenSegment(GLuint driverList) {
    compiling_->parts.push_back({driverList, false, GL_NO_ERROR, nullptr});
    if (next_.glNewList) next_.glNewList(driverList, compileMode_);
}

bool Layer::Recorded(const Command& command) {
    if (!compiling_) return false;
    // Between glBegin and glEnd these commands are errors; the driver's part cannot be split.
    if (insideBegin_) {
        RaiseListedError(GL_INVALID_OPERATION);
        return true;
    }
    if (next_.glEndList) next_.glEndList();
    compiling_->parts.push_back({0, false, GL_NO_ERROR, command});
    if (compileMode_ == GL_COMPILE_AND_EXECUTE) {
        std::shared_ptr<RecordedList> list = std::move(compiling_);
        command(*this);
        compiling_ = std::move(list);
    }
    OpenSegment(NewPartName());
    return true;
}

void Layer::RaiseListedError(GLenum error) {
    if (!compiling_ || compileMode_ == GL_COMPILE_AND_EXECUTE) RaiseError(error);
    if (compiling_ && compiling_->parts.back().error == GL_NO_ERROR)
        compiling_->parts.back().error = error;
}

bool Layer::PrepareDraw() {
    if (insideBegin_) return true;
    if (!compiling_) return PrepareModules();
    // Each draw starts a part of its own: when the list is called, the driver's commands before
    // the draw (texture enables, bindings, fog) have run by the time its preparation reads the
    // driver's state.
    if (next_.glEndList) next_.glEndList();
    // Under GL_COMPILE_AND_EXECUTE prepared now, with no list open so that nothing of the
    // preparation is compiled; the draw itself draws nothing if the program is invalid.
    if (compileMode_ == GL_COMPILE_AND_EXECUTE) PrepareModules();
    OpenSegment(NewPartName());
    compiling_->parts.back().draws = true;
    return true;
}

void Layer::NewList(GLuint list, GLenum mode) {
    // Errors (a list already open, name 0, a bad mode, inside glBegin) are the driver's.
    if (Active() && !compiling_ && !insideBegin_ && list != 0 &&
        (mode == GL_COMPILE || mode == GL_COMPILE_AND_EXECUTE)) {
        compiling_ = std::make_shared<RecordedList>();
        compilingName_ = list;
        compileMode_ = mode;
        OpenSegment(list);
        return;
    }
    if (next_.glNewList) next_.glNewList(list, mode);
}

void Layer::EndList() {
    if (next_.glEndList) next_.glEndList();
    if (!compiling_ || insideBegin_) return;
    std::shared_ptr<const RecordedList> replaced;
    {
        ListStore& store = *lists_;
        std::lock_guard<std::mutex> hold(store.lock);
        std::shared_ptr<const RecordedList>& slot = store.lists[compilingName_];
        replaced = std::move(slot);
        slot = std::move(compiling_);
    }
    if (replaced) DeleteParts(next_, compilingName_, *replaced);
}

void Layer::CallList(GLuint list) {
    // Between glBegin and glEnd a list supplies vertices: the driver's part of it is compiled.
    if (!Active() || (compiling_ && insideBegin_)) {
        CallDriverList(list);
        return;
    }
    if (Recorded([list](Layer& l) { l.CallList(list); })) return;
    std::shared_ptr<const RecordedList> recorded;
    {
        ListStore& store = *lists_;
        std::lock_guard<std::mutex> hold(store.lock);
        auto found = store.lists.find(list);
        if (found != store.lists.end()) recorded = found->second;
    }
    if (!recorded) {
        // Not compiled through the layer: the driver's, as it is.
        CallDriverList(list);
        return;
    }
    if (callDepth_ >= kMaxListNesting) return;
    ++callDepth_;
    for (const auto& part : recorded->parts) {
        if (part.command) {
            part.command(*this);
            continue;
        }
        // An invalid program raises the error here, and its stand-in draws nothing.
        if (part.error != GL_NO_ERROR) RaiseError(part.error);
        if (part.draws && !insideBegin_) PrepareModules();
        CallDriverList(part.driverList);
    }
    --callDepth_;
}

// The driver's own commands in a list change its state behind the modules.
void Layer::CallDriverList(GLuint list) {
    if (next_.glCallList) next_.glCallList(list);
    ChangedUnseen();
}

void Layer::CallListNames(const std::vector<GLuint>& offsets) {
    GLint base = 0;
    if (next_.glGetIntegerv) next_.glGetIntegerv(GL_LIST_BASE, &base);
    for (GLuint offset : offsets) CallList(GLuint(base) + offset);
}

void Layer::CallLists(GLsizei n, GLenum type, const void* lists) {
    std::vector<GLuint> offsets;
    if (!Active() || (compiling_ && insideBegin_) || n < 0 || lists == nullptr ||
        !ListOffsets(n, type, lists, &offsets)) {
        if (next_.glCallLists) next_.glCallLists(n, type, lists);
        ChangedUnseen();
        return;
    }
    if (Recorded([offsets](Layer& l) { l.CallListNames(offsets); })) return;
    CallListNames(offsets);
}

void Layer::DeleteLists(GLuint list, GLsizei range) {
    if (next_.glDeleteLists) next_.glDeleteLists(list, range);
    if (!Active() || range <= 0) return;
    std::vector<std::pair<GLuint, std::shared_ptr<const RecordedList>>> deleted;
    {
        ListStore& store = *lists_;
        std::lock_guard<std::mutex> hold(store.lock);
        auto it = store.lists.lower_bound(list);
        while (it != store.lists.end() && it->first - list < GLuint(range)) {
            deleted.emplace_back(it->first, std::move(it->second));
            it = store.lists.erase(it);
        }
    }
    for (const auto& d : deleted) DeleteParts(next_, d.first, *d.second);
}

}  // namespace legacygl
