#include "RDVideoView.h"

#include "RDLog.h"
#include "RDSnapshotEncoder.h"
#include "RDYUV420P.h"

#include <QThread>

#define VIEW_LOG(...) RDLogDetail("RDVideoView", __FUNCTION__, __LINE__, 5, __VA_ARGS__)

namespace {

const GLfloat kTextureCoordinates[8] = {0.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, 1.0f, 0.0f};
// Column by column: limited-range BT.601 YUV to RGB.
const GLfloat kColorMatrix[9] = {1.164f, 1.164f, 1.164f, 0.0f, -0.392f, 2.017f, 1.596f, -0.813f, 0.0f};
const GLfloat kZeroMatrix[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};

const char *const kVertexShader = "attribute vec4 vertexIn;\n"
                                  "attribute vec2 textureIn;\n"
                                  "varying vec2 textureOut;\n"
                                  "void main(void)\n"
                                  "{\n"
                                  "    gl_Position = vertexIn;\n"
                                  "    textureOut = textureIn;\n"
                                  "}\n";

const char *const kFragmentShader = "#ifdef GL_ES\n"
                                    "precision mediump float;\n"
                                    "#endif\n"
                                    "varying vec2 textureOut;\n"
                                    "uniform sampler2D textureY;\n"
                                    "uniform sampler2D textureU;\n"
                                    "uniform sampler2D textureV;\n"
                                    "uniform mat3 colorConversionMatrix;\n"
                                    "void main(void)\n"
                                    "{\n"
                                    "    vec3 yuv;\n"
                                    "    yuv.x = texture2D(textureY, textureOut).r;\n"
                                    "    yuv.y = texture2D(textureU, textureOut).r - 0.5;\n"
                                    "    yuv.z = texture2D(textureV, textureOut).r - 0.5;\n"
                                    "    gl_FragColor = vec4(colorConversionMatrix * yuv, 1.0);\n"
                                    "}\n";

const GLuint kVertexAttribute = 0;
const GLuint kTextureAttribute = 1;

} // namespace

RDVideoView::RDVideoView(QWidget *parent) : QOpenGLWidget(parent)
{
    connect(this, &RDVideoView::updateAsyncSignal, this, QOverload<>::of(&QWidget::update), Qt::QueuedConnection);
}

RDVideoView::~RDVideoView()
{
    if (m_initialized) {
        makeCurrent();
        GLuint textures[3] = {m_textureY, m_textureU, m_textureV};
        glDeleteTextures(3, textures);
        glDeleteProgram(m_program);
        doneCurrent();
    }
    QMutexLocker guard(&m_mutex);
    delete m_picture;
    m_picture = nullptr;
}

void RDVideoView::updateYUV420Async(RDYUV420P *picture)
{
    {
        QMutexLocker guard(&m_mutex);
        // Only the newest picture is kept: one not yet painted goes unseen.
        delete m_picture;
        m_picture = picture;
    }
    updateAsync();
}

void RDVideoView::updateAsync()
{
    if (QThread::currentThread() == thread())
        update();
    else
        emit updateAsyncSignal();
}

void RDVideoView::getScale(double *sw, double *sh)
{
    QMutexLocker guard(&m_mutex);
    if (sw)
        *sw = m_scaleX;
    if (sh)
        *sh = m_scaleY;
}

bool RDVideoView::saveImage(const QString &path)
{
    QMutexLocker guard(&m_mutex);
    if (!m_picture)
        return false;
    return RDSnapshotEncoder::saveJpeg(*m_picture, path);
}

void RDVideoView::clear()
{
    {
        QMutexLocker guard(&m_mutex);
        delete m_picture;
        m_picture = nullptr;
    }
    update();
}

void RDVideoView::letterbox(int w, int h, int fw, int fh, double *xExtent, double *yExtent)
{
    double x = 1.0;
    double y = 1.0;
    if (w > 0 && h > 0 && fw > 0 && fh > 0) {
        if (double(w) * fh < double(h) * fw)
            y = double(fh) * w / fw / h;
        else
            x = double(h) * fw / fh / w;
    }
    *xExtent = x;
    *yExtent = y;
}

void RDVideoView::paintEvent(QPaintEvent *event)
{
    QOpenGLWidget::paintEvent(event);
}

void RDVideoView::resizeGL(int w, int h)
{
    QOpenGLWidget::resizeGL(w, h);
}

GLuint RDVideoView::compileShader(GLenum type, const char *source)
{
    const GLuint shader = glCreateShader(type);
    const GLint length = GLint(qstrlen(source));
    glShaderSource(shader, 1, &source, &length);
    glCompileShader(shader);
    GLint compiled = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (!compiled) {
        char log[257] = {0};
        glGetShaderInfoLog(shader, 256, nullptr, log);
        VIEW_LOG("complieShader error = %s", log);
        VIEW_LOG("%s", source);
    }
    return shader;
}

void RDVideoView::initializeGL()
{
    QMutexLocker guard(&m_mutex);
    initializeOpenGLFunctions();
    const GLuint vertex = compileShader(GL_VERTEX_SHADER, kVertexShader);
    const GLuint fragment = compileShader(GL_FRAGMENT_SHADER, kFragmentShader);
    m_program = glCreateProgram();
    glAttachShader(m_program, vertex);
    glAttachShader(m_program, fragment);
    glBindAttribLocation(m_program, kVertexAttribute, "vertexIn");
    glBindAttribLocation(m_program, kTextureAttribute, "textureIn");
    glLinkProgram(m_program);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    glUseProgram(m_program);
    glUniform1i(glGetUniformLocation(m_program, "textureY"), 0);
    glUniform1i(glGetUniformLocation(m_program, "textureU"), 1);
    glUniform1i(glGetUniformLocation(m_program, "textureV"), 2);

    GLuint textures[3] = {0, 0, 0};
    glGenTextures(3, textures);
    m_textureY = textures[0];
    m_textureU = textures[1];
    m_textureV = textures[2];
    for (GLuint texture : textures) {
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    }
    m_initialized = true;
}

void RDVideoView::setGeometry(int fw, int fh, bool withPicture)
{
    double x = 1.0;
    double y = 1.0;
    letterbox(width(), height(), fw, fh, &x, &y);
    const GLfloat vertices[8] = {GLfloat(-x), GLfloat(-y), GLfloat(x), GLfloat(-y),
                                 GLfloat(-x), GLfloat(y),  GLfloat(x), GLfloat(y)};
    std::copy(vertices, vertices + 8, m_vertices);
    m_scaleX = x;
    m_scaleY = y;
    glVertexAttribPointer(kVertexAttribute, 2, GL_FLOAT, GL_FALSE, 0, m_vertices);
    glEnableVertexAttribArray(kVertexAttribute);
    glVertexAttribPointer(kTextureAttribute, 2, GL_FLOAT, GL_FALSE, 0, kTextureCoordinates);
    glEnableVertexAttribArray(kTextureAttribute);
    glUniformMatrix3fv(glGetUniformLocation(m_program, "colorConversionMatrix"), 1, GL_FALSE,
                       withPicture ? kColorMatrix : kZeroMatrix);
}

void RDVideoView::uploadPlane(int unit, GLuint texture, const uint8_t *data, int width, int height)
{
    glActiveTexture(GLenum(GL_TEXTURE0 + unit));
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE, width, height, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, data);
}

void RDVideoView::paintGL()
{
    QMutexLocker guard(&m_mutex);
    const qreal ratio = devicePixelRatioF();
    glViewport(0, 0, int(width() * ratio), int(height() * ratio));
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glUseProgram(m_program);
    if (m_picture) {
        setGeometry(m_picture->width(), m_picture->height(), true);
        // Planes are tightly packed: rows of any width, odd ones included.
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        uploadPlane(0, m_textureY, m_picture->y(), m_picture->width(), m_picture->height());
        uploadPlane(1, m_textureU, m_picture->u(), m_picture->chromaWidth(), m_picture->chromaHeight());
        uploadPlane(2, m_textureV, m_picture->v(), m_picture->chromaWidth(), m_picture->chromaHeight());
    } else {
        setGeometry(width(), height(), false);
    }
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    const GLenum error = glGetError();
    if (error != GL_NO_ERROR)
        VIEW_LOG("glGetError() = %x", error);
}
